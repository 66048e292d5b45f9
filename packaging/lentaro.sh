#!/bin/sh
# Starts Lentaro from its application folder, where its cursors, skin and
# sample files lie beside it.
here=$(dirname "$(readlink -f "$0")")
exec "$here/../lib/lentaro/lentaro" "$@"
