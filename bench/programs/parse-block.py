# Matching a grammar over a large list: entries of a word, an integer and a string or a list
# of words, checked by type (a regular expression has nothing to match a list with).
class Word:
    __slots__ = ("name",)

    def __init__(self, name):
        self.name = name


data = []
flag = True
for i in range(1, 100001):
    data.append(Word("item"))
    data.append(i)
    data.append("v" if flag else [Word("a"), Word("b"), Word("c")])
    flag = not flag


def entries(values):
    """The number of entries, or None when the list does not match."""
    total, i, n = 0, 0, len(values)
    if n == 0:
        return None
    while i < n:
        if i + 2 >= n or not isinstance(values[i], Word) or type(values[i + 1]) is not int:
            return None
        last = values[i + 2]
        if isinstance(last, list):
            if not last or not all(isinstance(w, Word) for w in last):
                return None
        elif not isinstance(last, str):
            return None
        total += 1
        i += 3
    return total


total = 0
for _ in range(10):
    total += entries(data)
print(total)
