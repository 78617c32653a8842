# Sourced by the scripts: puts the Node 20 that scripts/install-npm-deps unpacks into
# build/node (where the system's node is another version) first on the PATH.
node_root=$(cd "$(dirname "$0")/.." && pwd)/build/node
if [ -x "$node_root/bin/node" ]; then
  PATH="$node_root/bin:$PATH"
  export PATH
fi
