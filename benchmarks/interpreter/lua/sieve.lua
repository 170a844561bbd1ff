-- Sieve of Eratosthenes over 500,000, ten times, as bench_sieve.
local function sieve(n)
  local composite = {}
  for i = 0, n do composite[i] = false end
  local count = 0
  for i = 2, n do
    if not composite[i] then
      count = count + 1
      for j = i + i, n, i do composite[j] = true end
    end
  end
  return count
end

local t0 = os.clock()
local total = 0
for _ = 1, 10 do total = total + sieve(500000) end
print(string.format("result=%d ms=%.1f", total, (os.clock() - t0) * 1000))
