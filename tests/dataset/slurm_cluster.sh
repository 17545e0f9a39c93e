#!/usr/bin/env bash
# slurm_cluster.sh - a private one-node Slurm cluster living in one folder, for tests.
#
#   slurm_cluster.sh start  DIR   create DIR if needed, start munged, slurmctld and
#                                 slurmd in it, wait until the node is idle, print
#                                 `export ...` lines to eval (SLURM_CONF, PATH if needed)
#   slurm_cluster.sh stop   DIR   cancel all jobs, stop the daemons, kill anything left
#                                 that carries this cluster's SLURM_CONF; idempotent, exit 0
#   slurm_cluster.sh status DIR   exit 0 and print the pids if the cluster answers, else 1
#
# start exits 77 (a test's "skip") with one line on stderr when it cannot start the
# cluster; whatever it had started is stopped again first. Catch that status before
# eval: `eval "$(... start)"` would hide it.
#
#   d=$(mktemp -d); trap 'slurm_cluster.sh stop "$d"; rm -rf "$d"' EXIT
#   env=$(SLURM_TEST_OWNER_PID=$$ slurm_cluster.sh start "$d") || exit $?
#   eval "$env"
#
# Environment knobs:
#   SLURM_TEST_CPUS            CPUs of the node (default: what `slurmd -C` prints)
#   SLURM_TEST_MAX_ARRAY_SIZE  MaxArraySize (default 1001)
#   SLURM_TEST_MIN_JOB_AGE     MinJobAge, seconds squeue remembers an ended job (default 300)
#   SLURM_TEST_START_TIMEOUT   seconds to wait for each daemon at start (default 30)
#   SLURM_TEST_STOP_TIMEOUT    seconds to wait for jobs / daemons at stop (default 20)
#   SLURM_TEST_OWNER_PID       if set, a watcher stops the cluster by itself once this
#                              process is gone (e.g. a test killed by a ctest timeout)
#
# Works as root and as a plain user (SlurmUser = SlurmdUser = the caller). Ports are
# picked at random above 20000 and checked to be free, so several clusters may run
# at once in different folders. Every process of the cluster is started with
# SLURM_CONF=DIR/slurm.conf in its environment, and so is every task (TaskProlog).
set -uo pipefail

PROG=slurm_cluster.sh
SKIP=77

usage() { echo "usage: $PROG start|stop|status DIR" >&2; exit 2; }

[ $# -eq 2 ] || usage
CMD=$1
DIR=$2
[ -n "$DIR" ] || usage
SELF=$(readlink -f -- "$0")

# Search the sbin folders too: a plain user's PATH often lacks them.
CALLER_PATH=$PATH
PATH="$PATH:/usr/local/sbin:/usr/sbin:/sbin:/usr/local/bin:/usr/bin:/bin"
find_exe() { command -v "$1" 2>/dev/null; }

if [ "$CMD" = start ]; then
  mkdir -p -- "$DIR" 2>/dev/null || { echo "$PROG: cannot create $DIR" >&2; exit $SKIP; }
fi
if [ -d "$DIR" ]; then
  DIR=$(cd -- "$DIR" && pwd -P)
elif [ "$CMD" = stop ]; then
  # folder already removed: still kill whatever carries its SLURM_CONF
  DIR=$(readlink -m -- "$DIR")
else
  echo "$PROG: no such folder: $DIR" >&2; exit 1
fi
case $DIR in
  *[[:space:]\'\"\\\$\`=,#]*) echo "$PROG: unusable characters in folder name: $DIR" >&2; exit $SKIP ;;
esac

CONF=$DIR/slurm.conf
export SLURM_CONF=$CONF
LOG=$DIR/cluster.log
note() { printf '%s %s\n' "$(date +%T.%N | cut -c1-12)" "$*" >>"$LOG" 2>/dev/null || true; }

# --- processes of the cluster ---------------------------------------------------

# pid from a pid file, if that process is alive and carries our SLURM_CONF
live_pid() {
  local f=$DIR/run/$1.pid p
  [ -r "$f" ] || return 1
  p=$(cat "$f" 2>/dev/null) || return 1
  [[ $p =~ ^[0-9]+$ ]] || return 1
  carries_conf "$p" || return 1
  echo "$p"
}

carries_conf() {
  grep -qzxF "SLURM_CONF=$CONF" "/proc/$1/environ" 2>/dev/null
}

# pids of the caller: ourselves and our ancestors, and our own session
protected_pids() {
  local p=$$ pp
  while [ -n "$p" ] && [ "$p" -gt 1 ]; do
    echo "$p"
    pp=$(awk '/^PPid:/{print $2}' "/proc/$p/status" 2>/dev/null) || break
    p=$pp
  done
  echo "$BASHPID"
}

# every live process that carries our SLURM_CONF, except the caller's own: our
# ancestors, our session and the session that started the cluster (the daemons
# and the jobs all run in sessions of their own)
cluster_pids() {
  local mysid callsid prot f p sid
  mysid=$(ps -o sid= -p $$ 2>/dev/null | tr -d ' ')
  callsid=$(cat "$DIR/run/caller.sid" 2>/dev/null) || callsid=
  prot=" $(protected_pids | tr '\n' ' ') "
  # shellcheck disable=SC2013
  for f in $(grep -lzxF "SLURM_CONF=$CONF" /proc/[0-9]*/environ 2>/dev/null); do
    p=${f#/proc/}; p=${p%/environ}
    case $prot in *" $p "*) continue ;; esac
    sid=$(ps -o sid= -p "$p" 2>/dev/null | tr -d ' ')
    [ -n "$sid" ] || continue
    [ "$sid" = "$mysid" ] && continue
    [ "$sid" = "$callsid" ] && continue
    echo "$p"
  done
}

# alive PID: the process exists and is not a zombie
alive() {
  local st
  st=$(awk '/^State:/{print $2}' "/proc/$1/status" 2>/dev/null) || return 1
  [ -n "$st" ] && [ "$st" != Z ] && [ "$st" != X ]
}

# wait_gone SECONDS PID...: 0 when all are gone
wait_gone() {
  local t=$1 p left; shift
  local end=$((SECONDS + t))
  while :; do
    left=
    for p in "$@"; do alive "$p" && left="$left $p"; done
    [ -z "$left" ] && return 0
    [ $SECONDS -ge $end ] && return 1
    sleep 0.1
  done
}

client() { timeout 15 "$@" 2>/dev/null; }

do_stop() {
  local t=${SLURM_TEST_STOP_TIMEOUT:-20} ctld ids p pids end
  note "stop"
  if [ "$CMD" != _watch ] && p=$(live_pid watch); then
    kill -TERM "$p" 2>/dev/null; wait_gone 2 "$p"
  fi
  # 1. cancel every job, wait until squeue is empty
  if ctld=$(live_pid slurmctld) && [ -f "$CONF" ]; then
    ids=$(client squeue -h -o %A | sort -u | tr '\n' ' ')
    if [ -n "${ids// /}" ]; then
      note "scancel --full $ids"
      # shellcheck disable=SC2086
      client scancel --full $ids
      # shellcheck disable=SC2086
      client scancel $ids   # pending jobs, in case --full left them
      end=$((SECONDS + t))
      while [ -n "$(client squeue -h -o %A)" ] && [ $SECONDS -lt $end ] \
            && kill -0 "$ctld" 2>/dev/null; do
        sleep 0.2
      done
    fi
  fi
  # 2. TERM the daemons, wait, then KILL
  pids=
  for d in slurmd slurmctld munged; do
    p=$(live_pid "$d") && pids="$pids $p"
  done
  if [ -n "$pids" ]; then
    note "TERM$pids"
    # shellcheck disable=SC2086
    kill -TERM $pids 2>/dev/null
    # shellcheck disable=SC2086
    if ! wait_gone 10 $pids; then
      note "KILL$pids"
      kill -KILL $pids 2>/dev/null
      wait_gone 5 $pids
    fi
  fi
  note "daemons gone"
  # 3. anything else carrying our SLURM_CONF (escaped tasks, stepds)
  local round
  for round in 1 2 3 4 5; do
    pids=$(cluster_pids | tr '\n' ' ')
    [ -n "${pids// /}" ] || break
    note "leftovers (round $round): $pids"
    # shellcheck disable=SC2086
    kill -TERM $pids 2>/dev/null
    # shellcheck disable=SC2086
    wait_gone 2 $pids || kill -KILL $pids 2>/dev/null
    # shellcheck disable=SC2086
    wait_gone 2 $pids
  done
  rm -f "$DIR"/run/*.pid 2>/dev/null
  note "stopped"
  # socket folder outside DIR (used when DIR's path is too long or not traversable)
  if [ -f "$DIR/run/sockdir" ]; then
    p=$(cat "$DIR/run/sockdir")
    case $p in /tmp/slurm-test.*) rm -rf -- "$p" ;; esac
    rm -f "$DIR/run/sockdir"
  fi
  return 0
}

# --- start ------------------------------------------------------------------------

fail() {
  note "FAIL: $*"
  do_stop >/dev/null 2>&1
  echo "$PROG: $*" >&2
  exit $SKIP
}
last_line() {   # last error line of the given files, else their last line
  local f l=
  for f in "$@"; do
    [ -s "$f" ] && l=$(grep -iE 'error|fatal|fail' "$f" | tail -n 1)
    [ -n "$l" ] && { echo "$l"; return; }
  done
  for f in "$@"; do
    [ -s "$f" ] && l=$(grep -v '^[[:space:]]*$' "$f" | tail -n 1)
    [ -n "$l" ] && { echo "$l"; return; }
  done
  echo "no log output"
}

port_free() {
  local p=$1
  if command -v ss >/dev/null 2>&1; then
    [ -z "$(ss -Hltn "sport = :$p" 2>/dev/null)" ] || return 1
  fi
  ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null
}
pick_port() {
  local p _
  for _ in $(seq 1 200); do
    p=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    [ "$p" = "${1:-}" ] && continue
    port_free "$p" && { echo "$p"; return 0; }
  done
  return 1
}

# every folder from / down to $1 must be searchable by others (munge checks it)
path_traversable() {
  local d=$1
  while [ "$d" != / ] && [ -n "$d" ]; do
    [ -x "$d" ] && [ "$(( 0$(stat -c %a "$d") & 1 ))" -eq 1 ] || return 1
    d=$(dirname "$d")
  done
}

write_conf() {
  local host=$1 ctldport=$2 slurmdport=$3 node=$4 sock=$5 spool=$6
  cat >"$CONF" <<CONF
# private one-node test cluster written by $PROG
ClusterName=dadi-test
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctldport
SlurmdPort=$slurmdport
SlurmUser=$USER_NAME
SlurmdUser=$USER_NAME
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$sock,cred_expire=10
StateSaveLocation=$DIR/state
SlurmdSpoolDir=$spool
SlurmctldPidFile=$DIR/run/slurmctld.pidfile
SlurmdPidFile=$DIR/run/slurmd.pidfile
SlurmctldLogFile=$DIR/log/slurmctld.log
SlurmdLogFile=$DIR/log/slurmd.log
SlurmctldDebug=info
SlurmdDebug=info
PlugStackConfig=$DIR/plugstack.conf
TaskProlog=$DIR/task_prolog.sh
MailProg=/bin/true
ProctrackType=proctrack/linuxproc
TaskPlugin=task/affinity
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/filetxt
JobCompLoc=$DIR/jobcomp.log
SchedulerType=sched/backfill
SchedulerParameters=batch_sched_delay=0
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MaxArraySize=${SLURM_TEST_MAX_ARRAY_SIZE:-1001}
MaxJobCount=100000
MinJobAge=${SLURM_TEST_MIN_JOB_AGE:-300}
KillWait=5
InactiveLimit=0
Waittime=0
MpiDefault=none
SwitchType=switch/none
$node
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP OverSubscribe=NO
CONF
}

do_start() {
  local t=${SLURM_TEST_START_TIMEOUT:-30}
  local exe d
  for exe in slurmctld slurmd munged; do
    find_exe "$exe" >/dev/null || { echo "$PROG: slurm-wlm and munge are not installed" >&2; exit $SKIP; }
  done
  for exe in sbatch squeue scancel scontrol sinfo munge unmunge; do
    find_exe "$exe" >/dev/null || { echo "$PROG: slurm-wlm and munge are not installed ($exe missing)" >&2; exit $SKIP; }
  done
  local SLURMCTLD SLURMD MUNGED
  SLURMCTLD=$(find_exe slurmctld); SLURMD=$(find_exe slurmd); MUNGED=$(find_exe munged)

  if [ -n "$(live_pid slurmctld)$(live_pid slurmd)$(live_pid munged)" ]; then
    echo "$PROG: a cluster is already running in $DIR" >&2; exit $SKIP
  fi
  # anything a previous run left behind
  do_stop >/dev/null 2>&1

  if [ -n "${SLURM_TEST_OWNER_PID:-}" ] && { ! [[ $SLURM_TEST_OWNER_PID =~ ^[0-9]+$ ]] || [ ! -d "/proc/$SLURM_TEST_OWNER_PID" ]; }; then
    echo "$PROG: SLURM_TEST_OWNER_PID=$SLURM_TEST_OWNER_PID is not a running process" >&2; exit $SKIP
  fi
  USER_NAME=$(id -un)
  local host
  host=$(hostname -s 2>/dev/null) || host=
  [ -n "$host" ] || fail "hostname -s gave no name"

  chmod 711 "$DIR" 2>/dev/null || fail "cannot chmod $DIR"
  mkdir -p "$DIR/state" "$DIR/log" "$DIR/run" || fail "cannot create folders in $DIR"
  rm -rf "$DIR/state"/* "$DIR/spool" 2>/dev/null
  : >"$LOG"

  # Unix sockets (munge, slurmstepd in the spool) need short, traversable paths.
  ps -o sid= -p $$ | tr -d ' ' >"$DIR/run/caller.sid"
  local sockdir=$DIR
  if [ ${#DIR} -gt 60 ] || ! path_traversable "$DIR"; then
    sockdir=$(mktemp -d /tmp/slurm-test.XXXXXX) || fail "cannot create a socket folder in /tmp"
    chmod 711 "$sockdir"
    echo "$sockdir" >"$DIR/run/sockdir"
  fi
  local sock=$sockdir/munge.sock spool=$sockdir/spool
  mkdir -p "$spool" || fail "cannot create $spool"

  : >"$DIR/plugstack.conf"
  : >"$DIR/cgroup.conf"
  printf '#!/bin/sh\necho "export SLURM_CONF=%s"\n' "$CONF" >"$DIR/task_prolog.sh"
  chmod 755 "$DIR/task_prolog.sh"

  # node line: what slurmd -C prints, or CPUs=N from SLURM_TEST_CPUS
  local node cpus mem
  node=$("$SLURMD" -C 2>/dev/null | grep '^NodeName=' | head -n 1)
  [ -n "$node" ] || fail "slurmd -C printed no node line"
  node=${node#NodeName=* }
  node="NodeName=$host $node"
  if [ -n "${SLURM_TEST_CPUS:-}" ]; then
    [[ $SLURM_TEST_CPUS =~ ^[1-9][0-9]*$ ]] || fail "SLURM_TEST_CPUS must be a positive number"
    mem=$(sed -n 's/.*RealMemory=\([0-9]*\).*/\1/p' <<<"$node")
    node="NodeName=$host CPUs=$SLURM_TEST_CPUS${mem:+ RealMemory=$mem}"
  fi
  cpus=$(sed -n 's/.*CPUs=\([0-9]*\).*/\1/p' <<<"$node")
  node="$node NodeAddr=127.0.0.1 State=UNKNOWN"

  # munge key of our own
  if [ ! -s "$DIR/munge.key" ]; then
    (umask 077; head -c 1024 /dev/urandom >"$DIR/munge.key") || fail "cannot write munge key"
  fi
  chmod 400 "$DIR/munge.key"

  note "starting munged (socket $sock)"
  rm -f "$sock" "$sock.lock"
  setsid "$MUNGED" -F --key-file="$DIR/munge.key" --socket="$sock" \
      --pid-file="$DIR/run/munged.pidfile" --seed-file="$DIR/run/munged.seed" \
      --log-file="$DIR/log/munged.log" --num-threads=2 \
      </dev/null >"$DIR/log/munged.out" 2>&1 &
  echo $! >"$DIR/run/munged.pid"
  local mpid=$! end=$((SECONDS + t))
  until munge -n -S "$sock" 2>/dev/null | unmunge -S "$sock" >/dev/null 2>&1; do
    kill -0 "$mpid" 2>/dev/null || { sleep 0.2; fail "munged did not start: $(last_line "$DIR/log/munged.out" "$DIR/log/munged.log")"; }
    [ $SECONDS -lt $end ] || fail "munged did not start: $(last_line "$DIR/log/munged.out" "$DIR/log/munged.log")"
    sleep 0.1
  done

  local attempt ctldport slurmdport cpid dpid state
  for attempt in 1 2 3; do
    if ! ctldport=$(pick_port) || ! slurmdport=$(pick_port "$ctldport"); then
      fail "found no free port"
    fi
    write_conf "$host" "$ctldport" "$slurmdport" "$node" "$sock" "$spool"
    : >"$DIR/log/slurmctld.log"; : >"$DIR/log/slurmd.log"
    note "attempt $attempt: slurmctld port $ctldport, slurmd port $slurmdport, $cpus CPUs"

    setsid "$SLURMCTLD" -D -c -f "$CONF" </dev/null >"$DIR/log/slurmctld.out" 2>&1 &
    cpid=$!; echo $cpid >"$DIR/run/slurmctld.pid"
    end=$((SECONDS + t))
    until [ "$(client scontrol ping | grep -c 'is UP')" -ge 1 ]; do
      if ! kill -0 "$cpid" 2>/dev/null || [ $SECONDS -ge $end ]; then break; fi
      sleep 0.1
    done
    if ! kill -0 "$cpid" 2>/dev/null || [ $SECONDS -ge $end ]; then
      if grep -qi 'address already in use' "$DIR/log/slurmctld.log" "$DIR/log/slurmctld.out" 2>/dev/null && [ $attempt -lt 3 ]; then
        kill -KILL "$cpid" 2>/dev/null; wait_gone 5 "$cpid"; continue
      fi
      if kill -0 "$cpid" 2>/dev/null; then
        fail "slurmctld did not answer within $t s: $(last_line "$DIR/log/slurmctld.log" "$DIR/log/slurmctld.out")"
      fi
      fail "slurmctld did not start: $(last_line "$DIR/log/slurmctld.log" "$DIR/log/slurmctld.out")"
    fi

    setsid "$SLURMD" -D -N "$host" -f "$CONF" </dev/null >"$DIR/log/slurmd.out" 2>&1 &
    dpid=$!; echo $dpid >"$DIR/run/slurmd.pid"
    end=$((SECONDS + t))
    state=
    while :; do
      state=$(client sinfo -h -n "$host" -o %T | head -n 1)
      [ "$state" = idle ] && break
      if ! kill -0 "$dpid" 2>/dev/null || ! kill -0 "$cpid" 2>/dev/null || [ $SECONDS -ge $end ]; then break; fi
      sleep 0.1
    done
    if [ "$state" != idle ]; then
      if grep -qi 'address already in use' "$DIR/log/slurmd.log" "$DIR/log/slurmd.out" 2>/dev/null && [ $attempt -lt 3 ]; then
        kill -KILL "$dpid" "$cpid" 2>/dev/null; wait_gone 5 "$dpid" "$cpid"; continue
      fi
      if ! kill -0 "$cpid" 2>/dev/null; then
        fail "slurmctld died: $(last_line "$DIR/log/slurmctld.log" "$DIR/log/slurmctld.out")"
      fi
      if kill -0 "$dpid" 2>/dev/null; then
        fail "slurmd did not start within $t s (node state '${state:-unknown}'): $(last_line "$DIR/log/slurmd.log" "$DIR/log/slurmd.out")"
      fi
      fail "slurmd did not start: $(last_line "$DIR/log/slurmd.log" "$DIR/log/slurmd.out")"
    fi
    break
  done
  note "node $host idle"
  if [ -n "${SLURM_TEST_OWNER_PID:-}" ]; then
    setsid bash "$SELF" _watch "$DIR" </dev/null >/dev/null 2>&1 &
    echo $! >"$DIR/run/watch.pid"
    note "watcher $! for owner $SLURM_TEST_OWNER_PID"
  fi
  printf 'export SLURM_CONF=%q\n' "$CONF"
  local bindir
  bindir=$(dirname "$(find_exe sbatch)")
  # shellcheck disable=SC2016
  case ":$CALLER_PATH:" in
    *":$bindir:"*) ;;
    *) printf 'export PATH=%q:"$PATH"\n' "$bindir" ;;
  esac
}

do_status() {
  local d p rc=0
  for d in munged slurmctld slurmd; do
    if p=$(live_pid "$d"); then echo "$d $p"; else echo "$d not running"; rc=1; fi
  done
  if [ $rc -eq 0 ]; then
    [ "$(client scontrol ping | grep -c "is UP")" -ge 1 ] || { echo "slurmctld does not answer"; rc=1; }
    echo "node $(client sinfo -h -o %T | head -n 1)"
  fi
  return $rc
}

case $CMD in
  start)
    trap 'fail "interrupted"' INT TERM HUP
    do_start ;;
  stop) do_stop >/dev/null 2>&1; exit 0 ;;
  _watch)   # internal: stop the cluster once its owner is gone
    while [ -d "/proc/${SLURM_TEST_OWNER_PID:-0}" ] && [ -f "$CONF" ]; do sleep 1; done
    note "owner ${SLURM_TEST_OWNER_PID:-} gone or $CONF removed"
    do_stop >/dev/null 2>&1; exit 0 ;;
  status) do_status ;;
  *) usage ;;
esac
