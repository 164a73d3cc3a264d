# Sourced by the scripts: serves the bundled sample catalogue on a free loopback port.
# Usage: picsheet_serve_sample    sets sample_url to the catalogue's link; the server stops when
#                                 the calling script exits.
# examples/catalogue.htm links its pictures at http://127.0.0.1:8642/; a copy pointed at the free
# port is served from out/serve, so that the real fetch path runs.
picsheet_serve_sample() {
  local port
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  rm -rf out/serve && mkdir -p out/serve
  cp -r examples/pictures out/serve/
  sed "s|http://127.0.0.1:8642/|http://127.0.0.1:$port/|g" examples/catalogue.htm > out/serve/catalogue.htm
  python3 -m http.server "$port" --bind 127.0.0.1 --directory out/serve >/dev/null 2>&1 &
  sample_server=$!
  trap 'kill $sample_server 2>/dev/null || true' EXIT
  sample_url="http://127.0.0.1:$port/catalogue.htm"
  for _ in $(seq 100); do
    curl -fsS -o /dev/null "$sample_url" 2>/dev/null && break
    sleep 0.1
  done
}
