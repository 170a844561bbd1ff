// Carries the precompiled headers the tests share; holds no code.
