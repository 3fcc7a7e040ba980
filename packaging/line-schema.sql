-- The line's database: every station's self-test runs in one PostgreSQL database.
-- Apply it as the database's owner (or a superuser), once and after each program upgrade:
--   psql -v ON_ERROR_STOP=1 -d kzb7310 -f /usr/share/kzb7310/line-schema.sql
-- It creates what is missing and changes nothing that is there, so it can be applied again.
-- Two roles: kzb_station (a station may add runs and read them, nothing else: no UPDATE,
-- DELETE, TRUNCATE or DDL) and kzb_reader (reports read). Stations and readers log in as
-- roles of their own granted one of these, their passwords in their ~/.pgpass.
BEGIN;

CREATE TABLE IF NOT EXISTS kzb_schema (version integer NOT NULL);
INSERT INTO kzb_schema (version) SELECT 1 WHERE NOT EXISTS (SELECT 1 FROM kzb_schema);

-- Times in UTC; the station's clock against the server's, at upload, with every run.
CREATE TABLE IF NOT EXISTS runs (
  id uuid PRIMARY KEY,
  serial text NOT NULL,
  station text NOT NULL,
  operator text NOT NULL,
  version text NOT NULL,
  card_library text NOT NULL,
  card text NOT NULL,
  profile text NOT NULL,
  profile_checksum text NOT NULL,
  started timestamptz NOT NULL,
  ended timestamptz NOT NULL,
  duration_s double precision NOT NULL,
  verdict text NOT NULL CHECK (verdict IN ('PASS', 'FAIL', 'NOT RUN', 'ABORTED')),
  why_not text NOT NULL,
  clock_offset_s double precision NOT NULL,
  uploaded timestamptz NOT NULL DEFAULT now(),
  uploaded_by name NOT NULL DEFAULT current_user
);
CREATE INDEX IF NOT EXISTS runs_by_serial ON runs (serial, started);
CREATE INDEX IF NOT EXISTS runs_by_start ON runs (started);
CREATE INDEX IF NOT EXISTS runs_by_station ON runs (station, started);

CREATE TABLE IF NOT EXISTS checks (
  run_id uuid NOT NULL REFERENCES runs (id),
  position integer NOT NULL,
  name text NOT NULL,
  passed boolean NOT NULL,
  measured text NOT NULL,
  limits text NOT NULL,
  detail text NOT NULL,
  PRIMARY KEY (run_id, position)
);

CREATE TABLE IF NOT EXISTS measurements (
  run_id uuid NOT NULL,
  check_position integer NOT NULL,
  position integer NOT NULL,
  name text NOT NULL,
  value double precision,
  unit text NOT NULL,
  low double precision,
  high double precision,
  passed boolean NOT NULL,
  PRIMARY KEY (run_id, check_position, position),
  FOREIGN KEY (run_id, check_position) REFERENCES checks (run_id, position)
);

DO $$
BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'kzb_station') THEN
    CREATE ROLE kzb_station NOLOGIN;
  END IF;
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'kzb_reader') THEN
    CREATE ROLE kzb_reader NOLOGIN;
  END IF;
END
$$;

REVOKE ALL ON kzb_schema, runs, checks, measurements FROM PUBLIC;
REVOKE ALL ON kzb_schema, runs, checks, measurements FROM kzb_station, kzb_reader;
GRANT SELECT ON kzb_schema, runs, checks, measurements TO kzb_station, kzb_reader;
GRANT INSERT ON runs, checks, measurements TO kzb_station;
REVOKE CREATE ON SCHEMA public FROM PUBLIC;
GRANT USAGE ON SCHEMA public TO kzb_station, kzb_reader;

COMMIT;

-- The line monitor hears of each new run from the server, not by reading the table again: the
-- run's id on the channel kzb_runs (LISTEN kzb_runs), delivered when the run's transaction
-- commits, so the run is whole when it is heard of. A block of its own, safe to apply again.
BEGIN;
SET LOCAL client_min_messages = warning;  -- no notice for a trigger not there yet

CREATE OR REPLACE FUNCTION kzb_run_added() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  PERFORM pg_notify('kzb_runs', NEW.id::text);
  RETURN NULL;
END
$$;
REVOKE ALL ON FUNCTION kzb_run_added() FROM PUBLIC;
DROP TRIGGER IF EXISTS runs_heard ON runs;
CREATE TRIGGER runs_heard AFTER INSERT ON runs FOR EACH ROW EXECUTE FUNCTION kzb_run_added();

COMMIT;
