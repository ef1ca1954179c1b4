# sayri_forbid_headers(target folder [ALLOW family...])
#
# The system headers of each mechanism the platform layer speaks to, as
# families:
#
#   X11      X11, Xi, Xtst                 (src/platform/linux/x11/)
#   WAYLAND  libwayland and QtWaylandClient (src/platform/linux/wayland/)
#   EVDEV    the kernel's input devices     (src/platform/linux/input/)
#   XKB      xkbcommon keymaps              (input/ and wayland/)
#   PULSE    libpulse                       (src/platform/linux/pulse/)
#   VULKAN   Vulkan                         (src/platform/linux/system/)
#   DBUS     QtDBus                         (atspi/ and tray/)
#
# Writes into `folder` one stand-in for every header of each family not
# allowed, each a single #error, and puts `folder` ahead of every other include
# folder of `target`. A source of `target` that includes any of them
# (<X11/Xlib.h>, <wayland-client.h>, <QtDBus/QDBusMessage>, ...) then fails to
# compile. Without ALLOW every family is refused.
function(sayri_forbid_headers target folder)
  cmake_parse_arguments(forbid "" "" "ALLOW" ${ARGN})
  find_path(SAYRI_X11_HEADERS X11/Xlib.h REQUIRED)
  find_path(SAYRI_WAYLAND_HEADERS wayland-client.h REQUIRED)
  find_path(SAYRI_EVDEV_HEADERS linux/input.h REQUIRED)
  find_path(SAYRI_XKB_HEADERS xkbcommon/xkbcommon.h REQUIRED)
  find_path(SAYRI_PULSE_HEADERS pulse/pulseaudio.h REQUIRED)
  find_path(SAYRI_VULKAN_HEADERS vulkan/vulkan.h REQUIRED)
  get_target_property(qt_core_dirs Qt6::Core INTERFACE_INCLUDE_DIRECTORIES)
  set(qt_headers "")
  foreach(dir ${qt_core_dirs})
    if(dir MATCHES "/QtCore$")
      get_filename_component(qt_headers ${dir} DIRECTORY)
    endif()
  endforeach()

  # Each family: the folder its paths are relative to, then its headers as globs.
  set(X11 ${SAYRI_X11_HEADERS} X11/*)
  set(WAYLAND ${SAYRI_WAYLAND_HEADERS} wayland-*.h)
  set(EVDEV ${SAYRI_EVDEV_HEADERS} linux/input.h linux/input-event-codes.h linux/uinput.h)
  set(XKB ${SAYRI_XKB_HEADERS} xkbcommon/*)
  set(PULSE ${SAYRI_PULSE_HEADERS} pulse/*)
  set(VULKAN ${SAYRI_VULKAN_HEADERS} vulkan/*)
  set(DBUS ${qt_headers} QtDBus/*)
  if(qt_headers)
    list(APPEND WAYLAND ${qt_headers} QtWaylandClient/*)
  endif()

  foreach(family X11 WAYLAND EVDEV XKB PULSE VULKAN DBUS)
    if(family IN_LIST forbid_ALLOW OR NOT ${family})
      continue()
    endif()
    set(parent "")
    foreach(item ${${family}})
      if(IS_ABSOLUTE ${item})
        set(parent ${item})
        continue()
      endif()
      if(item MATCHES "/\\*$")
        file(GLOB_RECURSE headers RELATIVE ${parent} ${parent}/${item})
      elseif(item MATCHES "\\*")
        file(GLOB headers RELATIVE ${parent} ${parent}/${item})
      else()
        set(headers ${item})
      endif()
      foreach(header ${headers})
        file(CONFIGURE OUTPUT ${folder}/${header} CONTENT "#error \"<${header}> belongs to the ${family} \
family: only its own room of src/platform/linux/ may include it (cmake/ForbiddenHeaders.cmake)\"\n")
      endforeach()
    endforeach()
  endforeach()
  target_include_directories(${target} BEFORE PRIVATE ${folder})
endfunction()
