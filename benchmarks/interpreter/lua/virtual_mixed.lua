-- Virtual calls over three receiver classes in an irregular order, each
-- taking the last result, one of them calling on: 3,000,000 calls, as
-- bench_virtual_mixed (methods through metatables).
local function class()
  local c = {}
  c.__index = c
  return c
end
local Dog, Cat, Cow = class(), class(), class()
local function halve(x) return x >> 1 end
function Dog:step(x) return (x + self.weight) & 0x7f end
function Cat:step(x) return (x * 3 + self.weight) & 0x7f end
function Cow:step(x) return halve(x) + self.weight end

local zoo = {}
for i, c in ipairs({Dog, Cat, Cow, Cat, Dog, Cow, Cow, Dog, Cat, Dog}) do
  zoo[i] = setmetatable({weight = i}, c)
end

local function run(n)
  local acc, k = 0, 1
  for _ = 1, n do
    acc = zoo[k]:step(acc)
    k = k + 1
    if k == 11 then k = 1 end
  end
  return acc
end

local t0 = os.clock()
local r = run(3000000)
print(string.format("result=%d ms=%.1f", r, (os.clock() - t0) * 1000))
