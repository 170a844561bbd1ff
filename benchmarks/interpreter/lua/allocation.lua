-- Short-lived objects: 2,000,000 points allocated, filled and read, as
-- bench_allocation; the sum wraps to a 32-bit int at the end.
local t0 = os.clock()
local sum = 0
for i = 0, 1999999 do
  local p = {x = i, y = i + i}
  sum = sum + p.x + p.y
end
local ms = (os.clock() - t0) * 1000
sum = (sum + 0x80000000) % 0x100000000 - 0x80000000
print(string.format("result=%d ms=%.1f", sum, ms))
