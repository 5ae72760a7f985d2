-- The call loop: a function of two inputs called once per pass.
local n = tonumber(arg[1]) or 10000000
local function add2(a, b)
  return a + b
end
local k = 0
for _ = 1, n do
  k = add2(k, 3)
end
io.write(k, "\n")
