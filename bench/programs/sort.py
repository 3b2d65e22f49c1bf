# Sorting: integers, texts and the characters of a text.
x = 1
numbers = []
for i in range(200000):
    x = (x * 75 + 74) % 65537
    numbers.append(x)
texts = [str(numbers[i]) for i in range(50000)]
alphabet = "qwertyuiopasdfghjklzxcvbnm"
letters = "".join(alphabet[numbers[i] % 26] for i in range(200000))
check = 0
for _ in range(5):
    s = sorted(numbers)
    check = check + s[0] + s[99999] + s[-1]
    s = sorted(texts)
    check = check + len(s[0]) + len(s[-1])
    s = "".join(sorted(letters))
    check = check + ord(s[99999])
print(check, sorted(texts)[12344])
