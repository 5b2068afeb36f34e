// The ovksim commands of every printer model (`VERB <slot> <port> <address> ...`):
//   paper    ... <cr|sj|di> <out|in>     paper out or in on a station
//   cover    ... <open|closed>
//   document ... <in|out>
//   reject   ... [n]                     the next n commands are rejected (1); 0 ends them
//   drop     ... [n]                     the next n command frames are lost (1)
//   printed  ... [cr|sj|di]              lines printed: count, then each line in [ ]
//   payloads ...                         commands: count, then each kept one in hex
//   counts   ...                         commands and lines per station
#pragma once

#include "ovksimmodels.h"

namespace bussim {

void addPrinterCommands(ModelKind& kind);

} // namespace bussim
