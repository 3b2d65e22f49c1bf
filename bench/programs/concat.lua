-- Building a long string piece by piece: appending to a growing series.
local parts = {}
for i = 1, 300000 do parts[#parts + 1] = tostring(i) end
print(#table.concat(parts))
