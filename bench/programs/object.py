# An object of five fields: two million updates through attribute access.
class Fields:
    def __init__(self):
        self.a = 0
        self.b = 0
        self.c = 0
        self.d = 0
        self.e = 0


o = Fields()
for _ in range(400000):
    o.a = o.a + 1
    o.b = o.b + 3
    o.c = o.c + o.a % 7
    o.d = o.d - 1
    o.e = o.e + o.b % 1000
print(o.a, o.b, o.c, o.d, o.e)
