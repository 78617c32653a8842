# Sourced by the scripts from the checkout's top folder: puts the Node 20 that
# scripts/install-npm-deps unpacks into build/node (where the system's node is
# another version) first on the PATH.
if [ -x "$PWD/build/node/bin/node" ]; then
  PATH="$PWD/build/node/bin:$PATH"
  export PATH
fi
