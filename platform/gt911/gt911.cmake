# The touch controller on its I2C bus, and the GPIO lines of the panel.
target_sources(tarvelo_platform PRIVATE
  gt911/fast_gpio.cpp
  gt911/gt911.cpp
  gt911/gt911_controller.cpp
  gt911/lpi2c.cpp
  gt911/touch_script.cpp
)
