# What scripts/package.sh packs, as `cmake --install` lays it out for the
# component "programs" (the prefix is the package's root):
# - Windows: vntrmap.exe, seghub.dll and pathcaster.exe side by side;
# - elsewhere: vntrmap and libseghub.so in lib/vntrmap, where the program's
#   $ORIGIN run path finds the library, and vntrreg, the registry tool, beside
#   them.
if(WIN32)
  install(TARGETS vntrmap pathcaster RUNTIME DESTINATION . COMPONENT programs)
  # The import library is for linking only: it stays out of the packages.
  install(TARGETS seghub RUNTIME DESTINATION . COMPONENT programs
                         ARCHIVE DESTINATION lib COMPONENT development)
else()
  install(TARGETS vntrmap seghub vntrreg
          RUNTIME DESTINATION lib/vntrmap COMPONENT programs
          LIBRARY DESTINATION lib/vntrmap COMPONENT programs)
endif()
