# Read by GNU make when a build preset runs it (MAKEFILES in CMakePresets.json):
# one job per core, as Ninja does by itself (the presets leave the generator
# to CMake, so Ninja builds when CMAKE_GENERATOR says so). A build preset's
# "jobs" can only be a fixed number, and an empty CMAKE_BUILD_PARALLEL_LEVEL
# gives make no limit at all. Only the make that cmake --build starts sets it:
# the makes below share its job slots. A -j given on the command line wins,
# and make 3.x, which passes -j on without sharing slots, is left alone.
ifeq ($(MAKELEVEL),0)
ifeq ($(filter -j%,$(MAKEFLAGS)),)
ifeq ($(filter 3.%,$(MAKE_VERSION)),)
build_jobs_cores := $(shell getconf _NPROCESSORS_ONLN 2>/dev/null)
ifneq ($(build_jobs_cores),)
MAKEFLAGS += -j$(build_jobs_cores)
endif
endif
endif
endif
