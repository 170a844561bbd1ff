-- Calls that pass and return longs and references: 3,000,000 rounds of a
-- call that picks one of two tables and a call that folds the picked
-- table's value into a sum beyond 32 bits, as bench_long_ref_calls.
local function pick(a, b, i)
  if i % 2 == 0 then return a end
  return b
end
local function fold(acc, v) return acc + 3 * v end

local a, b = {value = 7}, {value = 1000}
local t0 = os.clock()
local acc = 0
for i = 0, 2999999 do
  acc = fold(acc, pick(a, b, i).value)
end
print(string.format("result=%d ms=%.1f", acc, (os.clock() - t0) * 1000))
