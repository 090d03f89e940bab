SELECT 1; SELECT 2;
  ; -- only a comment
