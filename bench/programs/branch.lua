-- Branching in a loop: a loop over a list with if/else.
local values = {}
for i = 1, 1000 do values[#values + 1] = i end
local small, fizz, buzz, other = 0, 0, 0, 0
for _ = 1, 1000 do
  for _, v in ipairs(values) do
    if v < 100 then small = small + 1
    else
      if v % 3 == 0 then fizz = fizz + 1
      else
        if v % 5 == 0 then buzz = buzz + 1 end
        if v % 5 ~= 0 then other = other + v end
      end
    end
  end
end
print(small .. " " .. fizz .. " " .. buzz .. " " .. other)
