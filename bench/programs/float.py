# A body in orbit, a million steps: float arithmetic.
import math

x, y, vx, vy, dt = 1.0, 0.0, 0.0, 1.0, 0.001
for _ in range(1000000):
    r = math.sqrt(x * x + y * y)
    r3 = r * r * r
    vx = vx - x / r3 * dt
    vy = vy - y / r3 * dt
    x = x + vx * dt
    y = y + vy * dt
print(int(x * 1000000), int(y * 1000000))
