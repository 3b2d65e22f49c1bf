# Text: case-insensitive and case-sensitive search, case changes, replacement.
words = ["alpha", "Beta", "GAMMA", "delta", "Needle", "epsilon", "zeta", "NEEDLE", "eta", "theta"]
parts = []
for i in range(1, 100001):
    parts.append(words[i % 10] + " ")
text = "".join(parts)
found = exact = 0
for _ in range(20):
    folded = text.lower()
    p = folded.find("needle")
    while p >= 0:
        found = found + 1
        p = folded.find("needle", p + 6)
    p = text.find("eta")
    while p >= 0:
        exact = exact + 1
        p = text.find("eta", p + 3)
upper = text.upper()
changed = text.replace("zeta", "ZETA!")
print(found, exact, len(upper), len(changed))
