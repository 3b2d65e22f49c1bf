-- List operations: append, copy, reverse, insert, remove and find.
local b = {}
for i = 1, 100000 do b[#b + 1] = i end
local function index_of(t, v) for i = 1, #t do if t[i] == v then return i end end end
local total = 0
for k = 1, 200 do
  local c = table.move(b, 1, #b, 1, {})
  local n = #c
  for i = 1, n // 2 do c[i], c[n + 1 - i] = c[n + 1 - i], c[i] end
  table.move(c, k * 100 + 1, n, 1)
  for i = n - k * 100 + 1, n do c[i] = nil end
  table.move(c, 1, #c, 4)
  c[1], c[2], c[3] = 1, 2, 3
  table.move(b, 1, 50, #c + 1, c)
  total = total + #c + c[1] + c[#c] + index_of(c, 50000)
end
local records = {}
for i = 1, 50000 do records[#records + 1] = {i, i % 7} end
local sevens = 0
for _ = 1, 10 do
  for _, r in ipairs(records) do if r[2] == 0 then sevens = sevens + r[1] end end
end
print(total .. " " .. sevens)
