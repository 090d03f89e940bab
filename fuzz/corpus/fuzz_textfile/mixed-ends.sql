SELECT 1FROM A
WHERE x = 'café'

