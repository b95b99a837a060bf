// Dispatch of one host request: match the routes, bind the request's parts to the function's
// arguments, decode the body, call the invoker and write the host's response record. Every
// failure becomes an error in the response; nothing is thrown to the caller. The response's
// texts and arrays come from the allocation hooks and are freed by its cleanup entry.
#pragma once

#include <span>

#include "platform/host_boundary.h"
#include "router/call_result.h"
#include "router/route.h"

namespace tev {

class BindingRegistry;

// Answers `request` in `response` from the first best route. `response` must be zeroed or hold
// an earlier response (it is cleaned up first). No matching route, or an endpoint without an
// invoker, answers "Invalid function" with status 404. Otherwise the arguments are bound
// (bindArguments), the direct arguments and the body added, the invoker's prepare and call run
// while no error has occurred, and the response is written from the call result. Errors the
// handler cannot see (out of memory, an exception from native code) answer with status 500.
void dispatchRequest(HostEndpointResponse& response, const HostEndpointRequest& request,
                     std::span<const Route> routes);

// Writes `call` into a clean `response`: on error the error text and flag with an empty value,
// else the value converted to a host value (enumerators named through `registry`; status 400
// when the value cannot be converted); then flag, format (1-3, else 0), status, status text,
// headers and the body producer, which passes to the host. Sets the cleanup entry.
void writeResponse(HostEndpointResponse& response, CallResult& call,
                   const BindingRegistry* registry);

// The cleanup entry of every response: frees the value, the error text, the status text and the
// headers, then zeroes the record. Does not touch a body producer, which the host releases.
void cleanupResponse(HostEndpointResponse* response);

}  // namespace tev
