-- Calls as compiled Java makes them, as bench_java_calls: four shapes
-- picked with i % 4, area() and sides() on each (methods through
-- metatables): 3,000,000 turns, 6,000,000 calls.
local function class()
  local c = {}
  c.__index = c
  return c
end
local Square, Line, Triangle, Hexagon = class(), class(), class(), class()
function Square:area() return self.size * self.size end
function Square:sides() return 4 end
function Line:area() return self.size end
function Line:sides() return 1 end
function Triangle:area() return self.size * 3 end
function Triangle:sides() return 3 end
function Hexagon:area() return self.size * 5 end
function Hexagon:sides() return 6 end

local shapes = {}
for i, c in ipairs({Square, Line, Triangle, Hexagon}) do
  shapes[i - 1] = setmetatable({size = i + 2}, c)
end

local function run(n)
  local sum = 0
  for i = 0, n - 1 do
    sum = sum + shapes[i % 4]:area()
    sum = sum + shapes[i % 4]:sides()
  end
  return sum
end

local t0 = os.clock()
local r = run(3000000)
print(string.format("result=%d ms=%.1f", r, (os.clock() - t0) * 1000))
