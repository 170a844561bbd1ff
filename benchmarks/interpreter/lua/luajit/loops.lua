-- loops.lua for LuaJIT, which has no integer operators: the exclusive or
-- through its bit library, the rest as in loops.lua.
local bxor = bit.bxor
local acc = {total = 0, data = {}}
for j = 0, 999 do acc.data[j] = j * 3 end

local t0 = os.clock()
for _ = 1, 5 do
  for i = 0, 999 do
    for j = 0, 999 do
      local d = acc.data
      acc.total = acc.total + bxor(d[j], i)
    end
  end
end
local ms = (os.clock() - t0) * 1000
local total = (acc.total + 0x80000000) % 0x100000000 - 0x80000000
print(string.format("result=%d ms=%.1f", total, ms))
