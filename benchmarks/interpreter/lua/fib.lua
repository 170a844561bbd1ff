-- Recursive Fibonacci: fib(30), as bench_fib.
local function fib(n)
  if n < 2 then return n end
  return fib(n - 1) + fib(n - 2)
end

local t0 = os.clock()
local r = fib(30)
print(string.format("result=%d ms=%.1f", r, (os.clock() - t0) * 1000))
