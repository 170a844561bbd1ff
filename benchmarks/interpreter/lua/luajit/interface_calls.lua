-- Interface calls, as bench_interface_calls: Lua has no interfaces, so the
-- same work is the method call through a metatable of virtual_calls.lua.
dofile((arg[0]:gsub("interface_calls%.lua$", "virtual_calls.lua")))
