# Sessions, databases and the local engine session.
add_library(engine_session STATIC
  ABSLocalSession.cpp
  ABSMainDatabase.cpp
  ABSMainSession.cpp)
target_link_libraries(engine_session PUBLIC engine_tabledata engine_access framework platform)
