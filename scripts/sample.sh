# Sourced by the scripts: serves the bundled sample catalogue on a free loopback port.
# Usage: picsheet_serve_sample [FOLDER]   sets sample_url to the catalogue's link and sample_server
#        to the server's pid; the server stops when the calling script exits (an EXIT trap).
# examples/catalogue.htm links its pictures at http://127.0.0.1:8642/; a copy pointed at the free
# port is served from FOLDER (default out/serve), so that the real fetch path runs.
picsheet_serve_sample() {
  local serve="${1:-out/serve}" examples port
  examples="$(cd "$(dirname "${BASH_SOURCE[0]}")/../examples" && pwd)"
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  rm -rf "$serve" && mkdir -p "$serve"
  cp -r "$examples/pictures" "$serve/"
  sed "s|http://127.0.0.1:8642/|http://127.0.0.1:$port/|g" "$examples/catalogue.htm" > "$serve/catalogue.htm"
  python3 -m http.server "$port" --bind 127.0.0.1 --directory "$serve" >/dev/null 2>&1 &
  sample_server=$!
  trap 'kill $sample_server 2>/dev/null || true' EXIT
  sample_url="http://127.0.0.1:$port/catalogue.htm"
  for _ in $(seq 100); do
    curl -fsS -o /dev/null "$sample_url" 2>/dev/null && break
    sleep 0.1
  done
}
