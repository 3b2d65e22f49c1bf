# List operations: append, copy, reverse, insert, remove and find.
b = []
for i in range(1, 100001):
    b.append(i)
total = 0
for k in range(1, 201):
    c = list(b)
    c.reverse()
    del c[:k * 100]
    c[0:0] = [1, 2, 3]
    c.extend(b[:50])
    total = total + len(c) + c[0] + c[-1] + c.index(50000) + 1
records = []
for i in range(1, 50001):
    records.append([i, i % 7])
sevens = 0
for _ in range(10):
    for r in records:
        if r[1] == 0:
            sevens = sevens + r[0]
print(total, sevens)
