-- virtual_calls.lua for LuaJIT, which has no integer operators: the shift
-- through its bit library, the rest as in virtual_calls.lua.
local rshift = bit.rshift
local function class()
  local c = {}
  c.__index = c
  return c
end
local Square, Line, Triangle = class(), class(), class()
function Square:area() return self.size * self.size end
function Line:area() return self.size end
function Triangle:area() return rshift(self.size * self.size, 1) end

local shapes = {
  setmetatable({size = 3}, Square),
  setmetatable({size = 4}, Line),
  setmetatable({size = 5}, Triangle),
}

local t0 = os.clock()
local sum, k = 0, 1
for _ = 1, 3000000 do
  sum = sum + shapes[k]:area()
  k = k + 1
  if k == 4 then k = 1 end
end
print(string.format("result=%d ms=%.1f", sum, (os.clock() - t0) * 1000))
