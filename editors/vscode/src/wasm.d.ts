// The emscripten module's factory, bundled from the WebAssembly build.
declare module 'marquill-wasm' {
  const createMarquill: (options: object) => Promise<unknown>;
  export = createMarquill;
}
