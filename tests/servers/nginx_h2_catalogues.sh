#!/usr/bin/env bash
# A by-hand check of a collection run against a real web server: nginx serves catalogue pages and
# their pictures over HTTP/2 with TLS (a self-signed certificate for 127.0.0.1) on a loopback port,
# and links.txt lists the catalogues' https:// links for `picsheet-cli --list`.
#
#   tests/servers/nginx_h2_catalogues.sh start [PORT]  serves; prints the command to run
#   tests/servers/nginx_h2_catalogues.sh stop          stops nginx; tells what it served
#   tests/servers/nginx_h2_catalogues.sh run [PORT] [-- CLI_OPTIONS...]
#                                                      start, picsheet-cli --list, stop
#
# The catalogues: CATALOGUES copies (default 5) of the bundled sample (a wrapper, a repeated
# number, a missing number) and one of PICTURES numbered pictures (default 200), all made of the
# sample's pictures; "?c=K" or "?n=N" after a picture's path gives every picture an address of its
# own (nginx serves the file and ignores the query). nginx sends ETag and Last-Modified, so a second
# run asks with them and gets 304s, unless it runs with --no-cache; the answers are kept in
# FOLDER/cache (XDG_CACHE_HOME), not in the user's cache. picsheet trusts the certificate through
# CURL_CA_BUNDLE, as it trusts any other. Everything lives in FOLDER
# (default /tmp/picsheet-nginx-h2; env FOLDER); the port is a free one unless PORT is given; the
# picsheet-cli of `run` is build/picsheet-cli unless env CLI names another.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
folder="${FOLDER:-${TMPDIR:-/tmp}/picsheet-nginx-h2}"
catalogues="${CATALOGUES:-5}"
pictures="${PICTURES:-200}"

start() {
  local port="${1:-}"
  source "$root/scripts/deps.sh"
  picsheet_install_packages nginx openssl python3
  [ -n "$port" ] || port=$(python3 -c \
    'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  [ ! -f "$folder/nginx.pid" ] || stop >/dev/null || true
  if [ -e "$folder" ] && [ ! -f "$folder/nginx.conf" ]; then
    echo "$folder is not a folder this script made: set FOLDER to another" >&2
    exit 1
  fi
  rm -rf "$folder" && mkdir -p "$folder/site" "$folder/temp" "$folder/out"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
    -addext subjectAltName=IP:127.0.0.1 -keyout "$folder/key.pem" -out "$folder/cert.pem" 2>/dev/null
  cp -r "$root/examples/pictures" "$folder/site/"
  local base="https://127.0.0.1:$port" k n
  : > "$folder/links.txt"
  for k in $(seq "$catalogues"); do
    sed "s|http://127.0.0.1:8642/\(pictures/[^\"]*\)|$base/\1?c=$k|g" \
      "$root/examples/catalogue.htm" > "$folder/site/sample$k.htm"
    echo "$base/sample$k.htm" >> "$folder/links.txt"
  done
  local names=(p1 p2a p2b p4 p5 p6 p7 wrapper)
  {
    printf '<html><center><font size=3><b>%s pictures</b></font><br><table><tr>' "$pictures"
    for n in $(seq "$pictures"); do
      printf '<td><center>%d<br><img src="%s/pictures/%s.jpg?n=%d" width=100></center></td>' \
        "$n" "$base" "${names[$((n % ${#names[@]}))]}" "$n"
    done
    printf '</tr></table></html>\n'
  } > "$folder/site/big.htm"
  echo "$base/big.htm" >> "$folder/links.txt"
  # nginx's workers may run as nobody: the site must be world-readable.
  chmod -R a+rX "$folder/site" && chmod a+x "$folder"
  cat > "$folder/nginx.conf" <<EOF
worker_processes 1;
pid $folder/nginx.pid;
error_log $folder/error.log;
events { worker_connections 256; }
http {
  types { text/html htm html; image/jpeg jpg; }
  log_format h2 '\$connection \$server_protocol \$status "\$request_uri"';
  access_log $folder/access.log h2;
  client_body_temp_path $folder/temp/body;
  proxy_temp_path $folder/temp/proxy;
  fastcgi_temp_path $folder/temp/fastcgi;
  uwsgi_temp_path $folder/temp/uwsgi;
  scgi_temp_path $folder/temp/scgi;
  server {
    listen 127.0.0.1:$port ssl http2;
    ssl_certificate $folder/cert.pem;
    ssl_certificate_key $folder/key.pem;
    root $folder/site;
  }
}
EOF
  nginx -p "$folder" -c "$folder/nginx.conf"
  curl -fsS --http2 --cacert "$folder/cert.pem" -o /dev/null "$base/big.htm"
  echo "nginx serves $(wc -l < "$folder/links.txt") catalogues at $base (HTTP/2, TLS); try:"
  echo "  CURL_CA_BUNDLE=$folder/cert.pem XDG_CACHE_HOME=$folder/cache build/picsheet-cli \\"
  echo "    --output-dir $folder/out --list $folder/links.txt"
  echo "then: $0 stop"
}

stop() {
  [ -f "$folder/nginx.pid" ] || { echo "nginx is not running from $folder" >&2; return 1; }
  nginx -p "$folder" -c "$folder/nginx.conf" -s quit
  for _ in $(seq 50); do [ -f "$folder/nginx.pid" ] || break; sleep 0.1; done
  # One line per request: connection, protocol, status, address (the first is start's own check).
  tail -n +2 "$folder/access.log" 2>/dev/null | awk '
    { requests++; protocols[$2]++; statuses[$3]++; if (!($1 in seen)) { seen[$1] = 1; connections++ } }
    END {
      printf "nginx served %d requests over %d connections:", requests, connections
      for (p in protocols) printf " %s %d", p, protocols[p]
      printf ";"
      for (s in statuses) printf " status %s %d", s, statuses[s]
      printf "\n"
    }'
}

case "${1:-}" in
  start) start "${2:-}" ;;
  stop) stop ;;
  run)
    shift
    port=""
    if [ "$#" -gt 0 ] && [ "$1" != "--" ]; then port="$1"; shift; fi
    [ "${1:-}" != "--" ] || shift
    start "$port"
    trap stop EXIT
    CURL_CA_BUNDLE="$folder/cert.pem" XDG_CACHE_HOME="$folder/cache" "${CLI:-$root/build/picsheet-cli}" \
      --output-dir "$folder/out" --list "$folder/links.txt" "$@"
    ;;
  *) sed -n '2,19p' "$0" >&2; exit 2 ;;
esac
