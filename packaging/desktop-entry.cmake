# SPDX-License-Identifier: GPL-3.0-or-later
# Install step: writes the desktop entry whose Exec is the installed
# launcher's absolute path. The prefix is known only now (--prefix and the
# package build choose it after configuring); DESTDIR does not belong in it.
#   QORVEX_DESKTOP_IN   the template, with @QORVEX_LAUNCH_EXEC@
#   QORVEX_DESKTOP_OUT  the entry to write, which install(FILES) then copies
get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
set(launcher "${prefix}/bin/qorvex-launch")
if(launcher MATCHES "[\n\r]")
  message(FATAL_ERROR "A desktop entry cannot start a program whose path holds a line break: ${launcher}")
endif()

# Exec quoting: an argument holding anything but these characters goes in
# double quotes, where " ` $ \ take a backslash; the entry's string escapes
# then double every backslash once more. % starts a field code, so it doubles.
set(exec "${launcher}")
if(exec MATCHES "[^A-Za-z0-9/._+-]")
  string(REGEX REPLACE "([\"`$\\])" "\\\\\\1" exec "${exec}")
  string(REPLACE "\\" "\\\\" exec "\"${exec}\"")
endif()
string(REPLACE "%" "%%" QORVEX_LAUNCH_EXEC "${exec}")
configure_file("${QORVEX_DESKTOP_IN}" "${QORVEX_DESKTOP_OUT}" @ONLY)
