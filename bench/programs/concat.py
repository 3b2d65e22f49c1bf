# Building a long string piece by piece: appending to a growing series.
parts = []
for i in range(1, 300001):
    parts.append(str(i))
print(len("".join(parts)))
