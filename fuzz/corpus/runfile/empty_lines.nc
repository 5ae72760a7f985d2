G1 X1.5 Y-2


(comment)
M30
