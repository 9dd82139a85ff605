# Tool code shared by the generators: the simulator events of each cockpit variable.
add_library(kivtoolvars STATIC ${CMAKE_CURRENT_LIST_DIR}/var_events.cpp)
target_link_libraries(kivtoolvars PUBLIC kivcore)
