# Branching in a loop: a loop over a list with if/else.
values = []
for i in range(1, 1001):
    values.append(i)
small = fizz = buzz = other = 0
for _ in range(1000):
    for v in values:
        if v < 100:
            small = small + 1
        else:
            if v % 3 == 0:
                fizz = fizz + 1
            else:
                if v % 5 == 0:
                    buzz = buzz + 1
                if v % 5 != 0:
                    other = other + v
print(small, fizz, buzz, other)
