-- An object of five fields: two million updates through field access.
local o = {a = 0, b = 0, c = 0, d = 0, e = 0}
for _ = 1, 400000 do
  o.a = o.a + 1
  o.b = o.b + 3
  o.c = o.c + o.a % 7
  o.d = o.d - 1
  o.e = o.e + o.b % 1000
end
print(o.a .. " " .. o.b .. " " .. o.c .. " " .. o.d .. " " .. o.e)
