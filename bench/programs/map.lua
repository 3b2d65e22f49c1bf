-- A table of integer and string keys: stores, look-ups and updates.
local m = {}
local size = 0
for i = 1, 100000 do m[i] = i % 1000 size = size + 1 end
local sum = 0
for _ = 1, 10 do for i = 1, 100000 do sum = sum + m[i] end end
local colours = {"red", "green", "blue", "cyan", "magenta", "yellow", "black", "white"}
for _ = 1, 20000 do
  for _, c in ipairs(colours) do
    if m[c] == nil then size = size + 1 end
    m[c] = 1 + (m[c] or 0)
  end
end
print(size .. " " .. sum .. " " .. m.cyan)
