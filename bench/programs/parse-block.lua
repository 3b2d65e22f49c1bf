-- Matching a grammar over a large array: entries of a word, an integer and a string or an
-- array of words, checked by type.
local function word(name) return {word = name} end
local data = {}
local flag = true
for i = 1, 100000 do
  data[#data + 1] = word("item")
  data[#data + 1] = i
  data[#data + 1] = flag and "v" or {word("a"), word("b"), word("c")}
  flag = not flag
end

local function is_word(v) return type(v) == "table" and v.word ~= nil end

-- The number of entries, or nil when the array does not match.
local function entries(values)
  local total, i, n = 0, 1, #values
  if n == 0 then return nil end
  while i <= n do
    if i + 2 > n or not is_word(values[i]) or math.type(values[i + 1]) ~= "integer" then return nil end
    local last = values[i + 2]
    if type(last) == "table" and not is_word(last) then
      if #last == 0 then return nil end
      for _, w in ipairs(last) do if not is_word(w) then return nil end end
    elseif type(last) ~= "string" then
      return nil
    end
    total = total + 1
    i = i + 3
  end
  return total
end

local total = 0
for _ = 1, 10 do total = total + entries(data) end
print(total)
