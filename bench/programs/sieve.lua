-- Sieve of Eratosthenes up to 2,000,000: indexed reads and writes in a loop.
local n = 2000000
local composite = {}
local count = 0
for i = 2, n do
  if not composite[i] then
    count = count + 1
    for j = i * i, n, i do composite[j] = true end
  end
end
print(count)
