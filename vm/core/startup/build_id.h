// Version of the port and the build identifier (eight hexadecimal digits of
// the source revision), printed in the start-up banner.
#pragma once

extern "C" {
extern const char* const tarvelo_port_version;
extern const char* const tarvelo_build_id;
}
