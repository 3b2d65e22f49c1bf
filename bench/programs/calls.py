# Nested function calls with optional arguments (the refinements of the Kaz version).
def scale(x, k=None):
    return x * k if k else x


def step(x, twice=False):
    return scale(x, 2) if twice else scale(x)


total = 0
for _ in range(1000000):
    total = total + step(1, True) + step(1)
print(total)
