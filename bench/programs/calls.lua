-- Nested function calls with optional arguments (the refinements of the Kaz version).
local function scale(x, k) if k then return x * k else return x end end
local function step(x, twice) if twice then return scale(x, 2) else return scale(x) end end
local total = 0
for _ = 1, 1000000 do total = total + step(1, true) + step(1) end
print(total)
