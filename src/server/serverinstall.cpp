#include "shell/features.h"

#include "shell/client.h"

void installServer(Client &) {}
