-- The array loop: sums an array of 1000 reals, n / 1000 times; one inner pass is one
-- iteration.
local n = tonumber(arg[1]) or 10000000
local length = 1000
local a = {}
for j = 1, length do
  a[j] = j * 0.5
end
local s = 0.0
for _ = 1, n // length do
  for j = 1, length do
    s = s + a[j]
  end
end
io.write(s, "\n")
