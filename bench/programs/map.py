# A dictionary of integer and string keys: stores, look-ups and updates.
m = {}
for i in range(1, 100001):
    m[i] = i % 1000
total = 0
for _ in range(10):
    for i in range(1, 100001):
        total = total + m[i]
colours = ["red", "green", "blue", "cyan", "magenta", "yellow", "black", "white"]
for _ in range(20000):
    for c in colours:
        m[c] = 1 + m.get(c, 0)
print(len(m), total, m["cyan"])
