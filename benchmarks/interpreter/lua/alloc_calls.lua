-- A function that allocates and calls in the same loop: 2,000,000 points
-- made by their constructor, kept in a ring of 64 and asked for their sum,
-- as bench_alloc_calls; the sum wraps to a 32-bit int at the end.
local Pt = {}
Pt.__index = Pt
function Pt.new(a, b) return setmetatable({x = a, y = b}, Pt) end
function Pt:sum() return self.x + self.y end

local t0 = os.clock()
local ring, sum = {}, 0
for i = 0, 1999999 do
  local p = Pt.new(i, i + i)
  ring[i % 64 + 1] = p
  sum = sum + p:sum()
end
local ms = (os.clock() - t0) * 1000
sum = (sum + 0x80000000) % 0x100000000 - 0x80000000
print(string.format("result=%d ms=%.1f", sum, ms))
