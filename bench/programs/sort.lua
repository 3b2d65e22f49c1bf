-- Sorting: integers, texts and the characters of a text.
local x = 1
local numbers = {}
for i = 1, 200000 do x = (x * 75 + 74) % 65537 numbers[i] = x end
local texts = {}
for i = 1, 50000 do texts[i] = tostring(numbers[i]) end
local alphabet = "qwertyuiopasdfghjklzxcvbnm"
local letters = {}
for i = 1, 200000 do
  local k = numbers[i] % 26 + 1
  letters[i] = alphabet:sub(k, k)
end
local function copy(t) return table.move(t, 1, #t, 1, {}) end
local check = 0
for _ = 1, 5 do
  local sorted = copy(numbers)
  table.sort(sorted)
  check = check + sorted[1] + sorted[100000] + sorted[#sorted]
  sorted = copy(texts)
  table.sort(sorted)
  check = check + #sorted[1] + #sorted[#sorted]
  sorted = copy(letters)
  table.sort(sorted)
  check = check + string.byte(sorted[100000])
end
table.sort(texts)
print(check .. " " .. texts[12345])
