# A while loop with a condition: counting and summing.
i = 0
total = 0
while i < 5000000:
    i = i + 1
    total = total + i % 10
print(i, total)
