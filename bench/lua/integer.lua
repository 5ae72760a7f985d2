-- The integer loop: the sum of 0 .. n - 1 in a while loop.
local n = tonumber(arg[1]) or 10000000
local i, s = 0, 0
while i < n do
  s = s + i
  i = i + 1
end
io.write(s, "\n")
