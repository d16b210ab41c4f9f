# Writes the notices the setup program installs beside the uninstaller: the licences of the
# libraries linked into Vesiclar.scr, whose terms ask that binaries carry them. Windows line ends,
# so that any editor shows them.
#   cmake -DOUT=file -DLICENSES=<prefix>/share/licenses -DMINGW=<copyright file> -P notices.cmake
set(text "Vesiclar.scr contains the following libraries, linked into it. Each is under its own\n")
string(APPEND text "licence, given below in full.\n\n")
string(APPEND text "  libjpeg-turbo: JPEG decoding.\n")
string(APPEND text "    This software is based in part on the work of the Independent JPEG Group.\n")
string(APPEND text "  libogg and libvorbis (Xiph.Org Foundation): the music.\n")
string(APPEND text "  The MinGW-w64 runtime and its winpthreads library.\n")
string(APPEND text "  The GCC runtime libraries (libgcc, libstdc++), under the GNU General Public License\n")
string(APPEND text "    with the GCC Runtime Library Exception, which asks for no notice.\n")

function(section title)
  string(APPEND text "\n\n==== ${title} ")
  string(LENGTH "${title}" length)
  math(EXPR pad "90 - ${length}")
  string(REPEAT "=" ${pad} rule)
  string(APPEND text "${rule}\n")
  foreach(file IN LISTS ARGN)
    file(READ "${file}" body)
    string(APPEND text "\n${body}")
  endforeach()
  set(text "${text}" PARENT_SCOPE)
endfunction()

section("libjpeg-turbo" "${LICENSES}/libjpeg-turbo/LICENSE.md" "${LICENSES}/libjpeg-turbo/README.ijg")
section("libogg" "${LICENSES}/libogg/COPYING")
section("libvorbis" "${LICENSES}/libvorbis/COPYING")
section("MinGW-w64 runtime and winpthreads" "${MINGW}")

string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
