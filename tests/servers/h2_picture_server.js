// An HTTP/2-over-TLS picture server for the tests and benchmarks, on node's own http2 module.
// Usage: node h2_picture_server.js CERT KEY PICTURE DELAY_MS [PAGES]
// Prints its port on the first line of stdout, then serves until it is killed:
//   /p/ANYTHING  the picture file, each answer DELAY_MS late
//   /pages/NAME  the file NAME of the folder PAGES as text/html, as late (when PAGES is given)
//   /stats       "SESSIONS MOST_OPEN": the connections seen so far, this one included, and the
//                most streams one connection had open at once
'use strict';
const fs = require('fs');
const http2 = require('http2');

const path = require('path');

const [certFile, keyFile, pictureFile, delay, pagesFolder] = process.argv.slice(2);
const picture = fs.readFileSync(pictureFile);
let sessions = 0;
let mostOpen = 0;
// node refuses new streams with ENHANCE_YOUR_CALM once a session holds more than 10 MB unsent;
// clients that pause streams of large pictures hold that much, and web servers do not refuse them.
const server = http2.createSecureServer({
  cert: fs.readFileSync(certFile),
  key: fs.readFileSync(keyFile),
  maxSessionMemory: 1024,  // megabytes
});
server.on('session', () => { ++sessions; });
server.on('stream', (stream, headers) => {
  const session = stream.session;
  session.openStreams = (session.openStreams || 0) + 1;
  mostOpen = Math.max(mostOpen, session.openStreams);
  stream.on('close', () => { --session.openStreams; });
  // A stream reset by either side (REFUSED_STREAM, CANCEL) is retried or given up by the client;
  // without a listener node would end the whole server on it.
  stream.on('error', () => {});
  const address = headers[':path'];
  if (address === '/stats') {
    stream.respond({':status': 200, 'content-type': 'text/plain'});
    stream.end(`${sessions} ${mostOpen}`);
  } else if (address.startsWith('/p/')) {
    setTimeout(() => {
      if (stream.destroyed) return;
      stream.respond({':status': 200, 'content-type': 'image/jpeg'});
      stream.end(picture);
    }, Number(delay));
  } else if (pagesFolder && address.startsWith('/pages/')) {
    // Only a plain name: the folder's own files, nothing above it.
    const file = path.join(pagesFolder, path.basename(address.slice('/pages/'.length)));
    setTimeout(() => {
      if (stream.destroyed) return;
      fs.readFile(file, (error, page) => {
        if (stream.destroyed) return;
        if (error) {
          stream.respond({':status': 404});
          stream.end();
          return;
        }
        stream.respond({':status': 200, 'content-type': 'text/html'});
        stream.end(page);
      });
    }, Number(delay));
  } else {
    stream.respond({':status': 404});
    stream.end();
  }
});
server.on('error', (error) => { console.error(error); process.exit(1); });
server.listen(0, '127.0.0.1', () => { console.log(server.address().port); });
