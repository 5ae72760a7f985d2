-- The string loop: a text grows by concatenation and starts again past 16 characters.
local n = tonumber(arg[1]) or 10000000
local s, total = "", 0
for _ = 1, n do
  s = s .. "ab"
  if #s > 16 then
    s = ""
  end
  total = total + #s
end
io.write(total, "\n")
