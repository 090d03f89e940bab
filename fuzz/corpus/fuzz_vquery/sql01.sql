SELECT a&Macro, 'x&y', "q&r" FROM PASTELSQL -- &c :p
; /* :x */ SELECT :"my param", :a, :a FROM IQOSQL