-- Takeuchi's function with a local variable: deep recursion of small calls.
local function tak(x, y, z)
  if y < x then
    local r = tak(tak(x - 1, y, z), tak(y - 1, z, x), tak(z - 1, x, y))
    return r
  end
  return z
end
print(tak(24, 16, 8))
