# sayri_forbid_headers(target folder)
#
# Writes into `folder` one stand-in for every header of X11 (Xi and Xtst
# included), libpulse, Vulkan and QtDBus, each a single #error, and puts `folder`
# ahead of every other include folder of `target`. A source of `target` that
# includes any of them (<X11/Xlib.h>, <pulse/pulseaudio.h>,
# <QtDBus/QDBusMessage>, ...) then fails to compile.
function(sayri_forbid_headers target folder)
  find_path(SAYRI_X11_HEADERS X11/Xlib.h REQUIRED)
  find_path(SAYRI_PULSE_HEADERS pulse/pulseaudio.h REQUIRED)
  find_path(SAYRI_VULKAN_HEADERS vulkan/vulkan.h REQUIRED)
  get_target_property(qt_core_dirs Qt6::Core INTERFACE_INCLUDE_DIRECTORIES)
  set(qt_headers "")
  foreach(dir ${qt_core_dirs})
    if(dir MATCHES "/QtCore$")
      get_filename_component(qt_headers ${dir} DIRECTORY)
    endif()
  endforeach()

  set(roots ${SAYRI_X11_HEADERS}/X11 ${SAYRI_PULSE_HEADERS}/pulse ${SAYRI_VULKAN_HEADERS}/vulkan)
  if(qt_headers)
    list(APPEND roots ${qt_headers}/QtDBus)
  endif()
  foreach(root ${roots})
    get_filename_component(parent ${root} DIRECTORY)
    file(GLOB_RECURSE headers RELATIVE ${parent} ${root}/*)
    foreach(header ${headers})
      set(stub ${folder}/${header})
      if(NOT EXISTS ${stub})
        file(WRITE ${stub}
          "#error \"<${header}> belongs to the platform layer: only src/platform/linux/ may include it\"\n")
      endif()
    endforeach()
  endforeach()
  target_include_directories(${target} BEFORE PRIVATE ${folder})
endfunction()
