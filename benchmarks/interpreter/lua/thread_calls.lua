-- Calls from a second thread: fib(30) (or the arguments n and pad, as
-- fib.lua) in a coroutine, as bench_thread_calls.
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
local worker = coroutine.wrap(function()
  local t0 = os.clock()
  local r = deep(pad, n)
  print(string.format("result=%d ms=%.1f", r, (os.clock() - t0) * 1000))
end)
worker()
