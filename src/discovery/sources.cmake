# Finding the other copies on the network: DNS messages, the multicast DNS
# responder and browser (portable, time passed in), and the owner that puts
# them on a socket and a timer.
list(APPEND VELLO_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/dns_name.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dns_message.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mdns_types.cpp
  ${CMAKE_CURRENT_LIST_DIR}/own_service.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mdns_responder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/record_cache.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mdns_browser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/discovery_engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/found_destinations.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unicast_query.cpp
  ${CMAKE_CURRENT_LIST_DIR}/site_browser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dns_update.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hmac_sha256.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsig.cpp
)
list(APPEND VELLO_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/discovery.cpp
  ${CMAKE_CURRENT_LIST_DIR}/discovery_worker.cpp
)
