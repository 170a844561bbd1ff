-- Nested loops with field and array access, as bench_loops; the total
-- wraps to a 32-bit int at the end, as Java's does on the way.
local acc = {total = 0, data = {}}
for j = 0, 999 do acc.data[j] = j * 3 end

local t0 = os.clock()
for _ = 1, 5 do
  for i = 0, 999 do
    for j = 0, 999 do
      local d = acc.data
      acc.total = acc.total + (d[j] ~ i)
    end
  end
end
local ms = (os.clock() - t0) * 1000
local total = (acc.total + 0x80000000) % 0x100000000 - 0x80000000
print(string.format("result=%d ms=%.1f", total, ms))
