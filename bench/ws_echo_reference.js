// The yardstick for the host's WebSocket serving: a plain Node server with
// npm's `ws` that parses each request as JSON and sends it back re-serialised.
// Listens on 127.0.0.1 only; prints "listening <port>" once it accepts.
//
//   node ws_echo_reference.js [port]     (0 or none: a free port)
'use strict';
const { WebSocketServer } = require('ws');

const server = new WebSocketServer({ host: '127.0.0.1', port: Number(process.argv[2] || 0) });
server.on('listening', () => console.log(`listening ${server.address().port}`));
server.on('connection', (socket) => {
  socket.on('message', (data) => socket.send(JSON.stringify(JSON.parse(data))));
});
for (const signal of ['SIGTERM', 'SIGINT']) process.on(signal, () => process.exit(0));
