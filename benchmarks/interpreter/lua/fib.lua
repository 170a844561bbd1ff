-- Recursive Fibonacci: fib(30), as bench_fib; the arguments n and pad
-- (default 30 and 0) call fib(n) from pad frames deeper.
local function fib(n)
  if n < 2 then return n end
  return fib(n - 1) + fib(n - 2)
end

local function deep(pad, n)
  if pad > 0 then return deep(pad - 1, n) end
  return fib(n)
end

local n = tonumber(arg[1]) or 30
local pad = tonumber(arg[2]) or 0
local t0 = os.clock()
local r = deep(pad, n)
print(string.format("result=%d ms=%.1f", r, (os.clock() - t0) * 1000))
