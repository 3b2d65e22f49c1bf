# Iterating over a list of integers.
values = []
for i in range(1, 1001):
    values.append(i)
total = 0
for _ in range(2000):
    for v in values:
        total = total + v
print(total)
