-- The real loop: one multiply and one add per pass.
local n = tonumber(arg[1]) or 10000000
local x = 0.0
for _ = 1, n do
  x = x * 1.000001 + 0.5
end
io.write(x, "\n")
