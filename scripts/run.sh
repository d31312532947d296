#!/usr/bin/env bash
# Sets up, builds and launches the register. The database build/db/kavrodb.mdb is created with the
# default account only when there is none; an existing one is never touched. A desk whose register
# is a PostgreSQL database (build/db/kavrodb.conn) gets no file.
set -eu
cd "$(dirname "$0")/.."
bash scripts/build.sh
if [ ! -e build/db/kavrodb.mdb ] && [ ! -e build/db/kavrodb.conn ]; then
    mkdir -p build/db
    build/kavro-db init build/db/kavrodb.mdb
fi
exec build/kavro "$@"
