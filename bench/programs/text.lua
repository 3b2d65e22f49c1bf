-- Text: case-insensitive and case-sensitive search, case changes, replacement.
local words = {"alpha", "Beta", "GAMMA", "delta", "Needle", "epsilon", "zeta", "NEEDLE", "eta", "theta"}
local parts = {}
for i = 1, 100000 do parts[#parts + 1] = words[i % 10 + 1] .. " " end
local text = table.concat(parts)
local found, exact = 0, 0
for _ = 1, 20 do
  local folded = text:lower()
  local p = 1
  while true do
    local a = folded:find("needle", p, true)
    if not a then break end
    found = found + 1 p = a + 6
  end
  p = 1
  while true do
    local a = text:find("eta", p, true)
    if not a then break end
    exact = exact + 1 p = a + 3
  end
end
local upper = text:upper()
local changed = text:gsub("zeta", "ZETA!")
print(found .. " " .. exact .. " " .. #upper .. " " .. #changed)
