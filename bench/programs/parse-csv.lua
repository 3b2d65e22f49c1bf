-- Splitting CSV-like text into fields with a pattern.
local parts = {}
for i = 1, 100000 do parts[#parts + 1] = i .. ",name" .. i .. "," .. i * 7 .. ",yes\n" end
local text = table.concat(parts)
local rows, total = 0, 0
for _ = 1, 5 do
  for a, b, c, d in text:gmatch("([^,\n]*),([^,\n]*),([^,\n]*),([^\n]*)\n") do
    rows = rows + 1
    total = total + #b
  end
end
print(rows .. " " .. total)
