#!/usr/bin/env bash
# Real mail servers for the tests: Postfix (SMTP) and Dovecot (POP3) from
# Debian's packages, run from a throw-away directory on 127.0.0.1 high ports,
# for the test domain example.test with the users "pupil", "tutor", "receiver", "fetcher",
# "secure", "unverified", "tlstool", "exchange-pupil", "exchange-tutor" (the end-to-end
# exchange test's own), "oauthapi" and "oauthtool", whose mail goes into Maildirs.
#
#   scripts/mailservers.sh start STATE_FILE
#   scripts/mailservers.sh stop STATE_FILE
#
# start installs the packages when they are missing, starts both servers and
# writes STATE_FILE (shell assignments: the ports, the Maildir root, the
# throw-away directory). stop stops exactly the servers that STATE_FILE
# names and removes their directory. Passwords are the user names.
#
# Both servers also speak TLS with a certificate for "localhost" from a
# throw-away CA made at start (QUORVEL_TLS_CA): Postfix offers STARTTLS on its
# port and implicit TLS on QUORVEL_SMTPS_PORT, with SASL (PLAIN, LOGIN)
# through Dovecot's auth service, only over TLS; Dovecot offers STLS on its
# port and POP3S on QUORVEL_POP3S_PORT. The plain dialogues are unchanged.
#
# Both also take OAuth 2 bearer tokens (SASL XOAUTH2 and OAUTHBEARER), which
# Dovecot checks with an introspection endpoint on loopback, the identity
# provider's stand-in (scripts/oauth-introspection.py). Its tokens file
# (QUORVEL_OAUTH_TOKENS) starts with "token-USER USER active" and
# "expired-USER USER expired" for every user; tests may rewrite it.
set -euo pipefail

action=${1:-}
state=${2:-/tmp/quorvel-mailservers.env}
domain=example.test
users=(pupil tutor receiver fetcher secure unverified tlstool exchange-pupil exchange-tutor
  oauthapi oauthtool)
mail_uid=65534  # nobody: the virtual delivery agent and Dovecot act as it
mail_gid=65534

install_missing() {
  local missing=()
  for package in postfix dovecot-core dovecot-pop3d openssl; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "mailservers: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # A purge forgets the answer, and a non-interactive install would then set
  # up an Internet site.
  echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections
  # The packages must not start the system's own daemons.
  local policy=/usr/sbin/policy-rc.d placed=0
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy"
    chmod 755 "$policy"
    placed=1
  fi
  apt-get update -q >/dev/null 2>&1 || echo "mailservers: apt-get update reported a problem"
  local status=0
  apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null || status=$?
  [ $placed -eq 1 ] && rm -f "$policy"
  return $status
}

free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

wait_for_port() {  # port, name
  for _ in $(seq 1 1000); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
    sleep 0.01
  done
  echo "mailservers: $2 does not listen on 127.0.0.1:$1" >&2
  return 1
}

make_certificates() {  # directory
  local tls=$1/tls
  mkdir -p "$tls"
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -keyout "$tls/ca.key" -out "$tls/ca.crt" -subj "/CN=Quorvel throw-away test CA" 2>/dev/null
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout "$tls/server.key" -out "$tls/server.csr" -subj "/CN=localhost" 2>/dev/null
  printf 'subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
    >"$tls/server.ext"
  openssl x509 -req -in "$tls/server.csr" -CA "$tls/ca.crt" -CAkey "$tls/ca.key" \
    -CAcreateserial -days 2 -extfile "$tls/server.ext" -out "$tls/server.crt" 2>/dev/null
  chmod 644 "$tls/ca.crt" "$tls/server.crt"
}

write_postfix_config() {  # directory, smtp port, smtps port
  local root=$1 port=$2 smtps_port=$3 conf=$1/postfix
  mkdir -p "$conf" "$root/queue" "$root/data" "$root/log"
  chown postfix "$root/data"
  cat >"$conf/main.cf" <<CONF
compatibility_level = 3.6
queue_directory = $root/queue
data_directory = $root/data
mail_owner = postfix
setgid_group = postdrop
myhostname = mail.$domain
mydomain = $domain
myorigin = $domain
mydestination =
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
smtpd_peername_lookup = no
local_header_rewrite_clients =
smtpd_relay_restrictions = permit_mynetworks, permit_sasl_authenticated, reject_unauth_destination
smtpd_tls_cert_file = $root/tls/server.crt
smtpd_tls_key_file = $root/tls/server.key
smtpd_tls_security_level = may
smtpd_tls_mandatory_protocols = >=TLSv1.2
smtpd_tls_auth_only = yes
smtpd_sasl_auth_enable = yes
smtpd_sasl_type = dovecot
smtpd_sasl_path = private/auth
virtual_mailbox_domains = $domain
virtual_mailbox_base = $root/mail
virtual_mailbox_maps = texthash:$conf/mailboxes
virtual_uid_maps = static:$mail_uid
virtual_gid_maps = static:$mail_gid
virtual_mailbox_limit = 0
message_size_limit = 52428800
default_transport = error:no outbound mail in tests
relay_transport = error:no outbound mail in tests
local_transport = error:no local mail in tests
alias_maps =
alias_database =
biff = no
smtputf8_enable = no
maillog_file = $root/log/postfix.log
maillog_file_prefixes = $root/log
CONF
  : >"$conf/mailboxes"
  for user in "${users[@]}"; do echo "$user@$domain $domain/$user/" >>"$conf/mailboxes"; done
  cat >"$conf/master.cf" <<CONF
127.0.0.1:$port inet n - n - - smtpd
127.0.0.1:$smtps_port inet n - n - - smtpd -o smtpd_tls_wrappermode=yes -o smtpd_tls_security_level=encrypt
tlsmgr    unix  -       -       n       1000?   1       tlsmgr
pickup    unix  n       -       n       60      1       pickup
cleanup   unix  n       -       n       -       0       cleanup
qmgr      unix  n       -       n       300     1       qmgr
rewrite   unix  -       -       n       -       -       trivial-rewrite
bounce    unix  -       -       n       -       0       bounce
defer     unix  -       -       n       -       0       bounce
trace     unix  -       -       n       -       0       bounce
verify    unix  -       -       n       -       1       verify
flush     unix  n       -       n       1000?   0       flush
proxymap  unix  -       -       n       -       -       proxymap
showq     unix  n       -       n       -       -       showq
smtp      unix  -       -       n       -       -       error
relay     unix  -       -       n       -       -       error
error     unix  -       -       n       -       -       error
retry     unix  -       -       n       -       -       error
discard   unix  -       -       n       -       -       discard
local     unix  -       n       n       -       -       error
virtual   unix  -       n       n       -       -       virtual
anvil     unix  -       -       n       -       1       anvil
scache    unix  -       -       n       -       1       scache
postlog   unix-dgram n  -       n       -       1       postlogd
CONF
  # A configuration changed within the current second is re-read with pauses.
  touch -d '-2 seconds' "$conf"/*
}

write_dovecot_config() {  # directory, pop port, pop3s port, introspection port
  local root=$1 port=$2 pop3s_port=$3 oauth_port=$4 conf=$1/dovecot
  mkdir -p "$conf" "$root/dovecot-run" "$root/dovecot-state"
  cat >"$conf/oauth2.conf.ext" <<CONF
introspection_mode = post
introspection_url = http://127.0.0.1:$oauth_port/introspect
force_introspection = yes
username_attribute = username
username_format = %n
active_attribute = active
active_value = true
timeout_msecs = 10000
CONF
  : >"$conf/users"
  for user in "${users[@]}"; do
    echo "$user:{PLAIN}$user:$mail_uid:$mail_gid::$root/mail/$domain/$user::" >>"$conf/users"
  done
  chmod 644 "$conf/users"
  cat >"$conf/dovecot.conf" <<CONF
base_dir = $root/dovecot-run
state_dir = $root/dovecot-state
log_path = $root/log/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = yes
ssl_cert = <$root/tls/server.crt
ssl_key = <$root/tls/server.key
ssl_min_protocol = TLSv1.2
disable_plaintext_auth = no
auth_mechanisms = plain login xoauth2 oauthbearer
auth_failure_delay = 0
first_valid_uid = $mail_uid
mail_location = maildir:$root/mail/$domain/%n
pop3_uidl_format = %08Xu%08Xv
passdb {
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = $conf/oauth2.conf.ext
}
passdb {
  driver = passwd-file
  mechanisms = plain login
  args = scheme=PLAIN username_format=%n $conf/users
}
userdb {
  driver = passwd-file
  args = username_format=%n $conf/users
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
  inet_listener pop3s {
    address = 127.0.0.1
    port = $pop3s_port
    ssl = yes
  }
  service_count = 0
  process_limit = 20
}
service pop3 {
  service_count = 0
  process_limit = 20
}
service auth {
  unix_listener $root/queue/private/auth {
    mode = 0660
    user = postfix
    group = postfix
  }
}
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
CONF
}

start() {
  install_missing
  if [ -f "$state" ]; then stop; fi  # what an interrupted run left
  local root ports=() port
  root=$(mktemp -d /tmp/quorvel-mailservers.XXXXXX)
  chmod 755 "$root"
  while [ ${#ports[@]} -lt 4 ]; do
    port=$(free_port)
    [[ " ${ports[*]} " == *" $port "* ]] || ports+=("$port")
  done
  local smtp_port=${ports[0]} pop_port=${ports[1]} smtps_port=${ports[2]} pop3s_port=${ports[3]}
  cat >"$state" <<STATE
QUORVEL_SERVERS_ROOT=$root
QUORVEL_SMTP_PORT=$smtp_port
QUORVEL_POP_PORT=$pop_port
QUORVEL_SMTPS_PORT=$smtps_port
QUORVEL_POP3S_PORT=$pop3s_port
QUORVEL_TLS_CA=$root/tls/ca.crt
QUORVEL_TLS_HOST=localhost
QUORVEL_MAIL_DOMAIN=$domain
QUORVEL_MAILDIR_ROOT=$root/mail/$domain
STATE
  for user in "${users[@]}"; do
    mkdir -p "$root/mail/$domain/$user/"{new,cur,tmp}
  done
  chown -R "$mail_uid:$mail_gid" "$root/mail"
  make_certificates "$root"
  local oauth_port
  oauth_port=$(start_introspection "$root")
  echo "QUORVEL_OAUTH_TOKENS=$root/oauth/tokens" >>"$state"
  write_postfix_config "$root" "$smtp_port" "$smtps_port"
  write_dovecot_config "$root" "$pop_port" "$pop3s_port" "$oauth_port"
  postfix -c "$root/postfix" check >/dev/null 2>&1 || true  # creates the queue directories
  postfix -c "$root/postfix" start </dev/null >/dev/null 2>&1 || {
    echo "mailservers: postfix did not start" >&2
    cat "$root/log/postfix.log" >&2 2>/dev/null || true
    return 1
  }
  # Nothing of the daemons may keep the caller's output open (CTest waits for it).
  dovecot -c "$root/dovecot/dovecot.conf" </dev/null >/dev/null 2>&1
  wait_for_port "$smtp_port" postfix
  wait_for_port "$smtps_port" postfix
  wait_for_port "$pop_port" dovecot
  wait_for_port "$pop3s_port" dovecot
  echo "mailservers: postfix on 127.0.0.1:$smtp_port (TLS $smtps_port)," \
    "dovecot on 127.0.0.1:$pop_port (TLS $pop3s_port) ($root)"
}

start_introspection() {  # directory; prints the port
  local oauth=$1/oauth
  mkdir -p "$oauth"
  : >"$oauth/tokens"
  for user in "${users[@]}"; do
    printf 'token-%s %s active\nexpired-%s %s expired\n' "$user" "$user" "$user" "$user" >>"$oauth/tokens"
  done
  chmod 644 "$oauth/tokens"
  setsid /usr/bin/python3 "$(dirname "$0")/oauth-introspection.py" "$oauth/tokens" "$oauth/port" \
    </dev/null >/dev/null 2>&1 &
  echo $! >"$oauth/pid"
  for _ in $(seq 1 1000); do
    [ -s "$oauth/port" ] && { cat "$oauth/port"; return 0; }
    sleep 0.01
  done
  echo "mailservers: the introspection endpoint did not start" >&2
  return 1
}

stop() {
  [ -f "$state" ] || return 0
  local QUORVEL_SERVERS_ROOT=""
  # shellcheck disable=SC1090
  . "$state"
  local root=$QUORVEL_SERVERS_ROOT
  if [ -n "$root" ] && [ -d "$root" ]; then
    postfix -c "$root/postfix" stop >/dev/null 2>&1 || true
    if [ -f "$root/dovecot-run/master.pid" ]; then
      local pid
      pid=$(cat "$root/dovecot-run/master.pid")
      kill -TERM "$pid" 2>/dev/null || true
      for _ in $(seq 1 500); do kill -0 "$pid" 2>/dev/null || break; sleep 0.01; done
    fi
    local master_pid="$root/queue/pid/master.pid"
    for _ in $(seq 1 500); do
      [ -f "$master_pid" ] && kill -0 "$(tr -d ' ' <"$master_pid")" 2>/dev/null || break
      sleep 0.01
    done
    if [ -f "$root/oauth/pid" ]; then
      kill -TERM "$(cat "$root/oauth/pid")" 2>/dev/null || true
    fi
    rm -rf "$root"
  fi
  rm -f "$state"
}

case "$action" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop [STATE_FILE]" >&2; exit 2 ;;
esac
