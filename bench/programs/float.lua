-- A body in orbit, a million steps: float arithmetic.
local x, y, vx, vy, dt = 1.0, 0.0, 0.0, 1.0, 0.001
for _ = 1, 1000000 do
  local r = math.sqrt(x * x + y * y)
  local r3 = r * r * r
  vx = vx - x / r3 * dt
  vy = vy - y / r3 * dt
  x = x + vx * dt
  y = y + vy * dt
end
local function trunc(v) if v >= 0 then return math.floor(v) else return math.ceil(v) end end
print(trunc(x * 1000000) .. " " .. trunc(y * 1000000))
