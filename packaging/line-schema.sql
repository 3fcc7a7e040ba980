-- The line's database: every station's self-test runs in one PostgreSQL database.
-- Apply it as the database's owner (or a superuser), once and after each program upgrade:
--   psql -v ON_ERROR_STOP=1 -d kzb7310 -f /usr/share/kzb7310/line-schema.sql
-- It creates what is missing and upgrades what an older file made, keeping every run, so it
-- can be applied again; a line of a newer schema is refused, never turned back.
-- Two roles: kzb_station (a station adds whole runs of its own through kzb_add_run and reads
-- the line, nothing else: no INSERT, UPDATE, DELETE, TRUNCATE, DDL, temporary tables or large
-- objects) and kzb_reader (reports read). Stations and readers log in as roles of their own
-- granted one of these, their passwords in their ~/.pgpass. Which station names a station's
-- role may add runs for is kzb_stations, which the owner fills (kzb_register_station).
BEGIN;
SET LOCAL client_min_messages = warning;

CREATE TABLE IF NOT EXISTS kzb_schema (version integer NOT NULL);

DO $$
DECLARE
  found integer;
BEGIN
  SELECT max(version) INTO found FROM kzb_schema;
  IF found > 2 THEN
    RAISE EXCEPTION 'the line''s schema % is newer than this file (2): apply the newer program''s file', found;
  END IF;
END
$$;

-- Times in UTC. The station's clock against the server's, at upload: the offset only where
-- the round trip that measured it was short enough, and how far off it may be (half that
-- round trip); a run of an older program has no bound.
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
  clock_offset_s double precision,
  clock_bound_s double precision CHECK (clock_bound_s >= 0),
  uploaded timestamptz NOT NULL DEFAULT now(),
  uploaded_by name NOT NULL DEFAULT current_user
);
ALTER TABLE runs ALTER COLUMN clock_offset_s DROP NOT NULL;
ALTER TABLE runs ADD COLUMN IF NOT EXISTS clock_bound_s double precision CHECK (clock_bound_s >= 0);
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

-- Which station names each station's role may add runs for.
CREATE TABLE IF NOT EXISTS kzb_stations (
  role name NOT NULL,
  station text NOT NULL,
  PRIMARY KEY (role, station)
);
CREATE INDEX IF NOT EXISTS kzb_stations_by_station ON kzb_stations (station);

-- A line of schema 1 (or one whose version was lost): each role keeps the station names it
-- has uploaded runs for. A name more than one role has used is said; the owner decides whose
-- it is (kzb_register_station).
DO $$
DECLARE
  shared text;
BEGIN
  IF NOT EXISTS (SELECT 1 FROM kzb_schema WHERE version >= 2) THEN
    INSERT INTO kzb_stations (role, station)
      SELECT DISTINCT uploaded_by, station FROM runs ON CONFLICT DO NOTHING;
    SELECT string_agg(station, ', ' ORDER BY station) INTO shared
      FROM (SELECT station FROM kzb_stations GROUP BY station HAVING count(*) > 1) AS s;
    IF shared IS NOT NULL THEN
      RAISE WARNING 'stations whose runs more than one role uploaded, each still open to all of them: % (SELECT kzb_register_station(role, station) gives one to one role)', shared;
    END IF;
  END IF;
END
$$;

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

-- The station's clock against the server's: the server's time, read when it is asked.
CREATE OR REPLACE FUNCTION kzb_clock() RETURNS double precision
  LANGUAGE sql VOLATILE SET search_path = pg_catalog, pg_temp
  AS $$ SELECT extract(epoch FROM clock_timestamp())::float8 $$;

-- The one way a station adds a run: the whole run, its checks and its figures, in the
-- caller's transaction, for a station name of its own. The server says who and when
-- (uploaded, uploaded_by), whatever the run says; checks and figures belong to this run
-- alone. The same run sent again is the line's already: false, nothing changed. A role with
-- no station yet may claim, with its first run, a station name no role has.
--   run: the runs row's columns by name; run_checks: the checks' rows without run_id;
--   run_figures: the measurements' rows without run_id. True when the run was added.
CREATE OR REPLACE FUNCTION kzb_add_run(run jsonb, run_checks jsonb, run_figures jsonb)
  RETURNS boolean
  LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public, pg_temp
AS $$
DECLARE
  r runs;
BEGIN
  r := jsonb_populate_record(NULL::runs, run);
  IF r.id IS NULL THEN
    RAISE EXCEPTION 'a run without an id' USING ERRCODE = 'not_null_violation';
  END IF;
  IF EXISTS (SELECT 1 FROM runs WHERE id = r.id) THEN
    RETURN false;
  END IF;
  IF NOT EXISTS (SELECT 1 FROM kzb_stations WHERE role = session_user AND station = r.station) THEN
    -- A claim: one at a time, so two roles cannot both take a name.
    LOCK TABLE kzb_stations IN SHARE ROW EXCLUSIVE MODE;
    IF EXISTS (SELECT 1 FROM kzb_stations WHERE station = r.station) THEN
      RAISE EXCEPTION 'the station "%" is not the role %''s: its runs come from the role it is registered to', r.station, session_user
        USING ERRCODE = 'insufficient_privilege';
    END IF;
    IF EXISTS (SELECT 1 FROM kzb_stations WHERE role = session_user) THEN
      RAISE EXCEPTION 'the role % has its station already, not "%": the line''s owner registers another (kzb_register_station)', session_user, r.station
        USING ERRCODE = 'insufficient_privilege';
    END IF;
    INSERT INTO kzb_stations (role, station) VALUES (session_user, r.station);
  END IF;
  INSERT INTO runs (id, serial, station, operator, version, card_library, card, profile,
                    profile_checksum, started, ended, duration_s, verdict, why_not,
                    clock_offset_s, clock_bound_s, uploaded, uploaded_by)
    VALUES (r.id, r.serial, r.station, r.operator, r.version, r.card_library, r.card, r.profile,
            r.profile_checksum, r.started, r.ended, r.duration_s, r.verdict, r.why_not,
            r.clock_offset_s, r.clock_bound_s, now(), session_user)
    ON CONFLICT (id) DO NOTHING;
  IF NOT FOUND THEN
    RETURN false;  -- the same run, sent by another connection meanwhile
  END IF;
  INSERT INTO checks (run_id, position, name, passed, measured, limits, detail)
    SELECT r.id, c.position, c.name, c.passed, c.measured, c.limits, c.detail
      FROM jsonb_populate_recordset(NULL::checks, coalesce(run_checks, '[]')) AS c;
  INSERT INTO measurements (run_id, check_position, position, name, value, unit, low, high, passed)
    SELECT r.id, m.check_position, m.position, m.name, m.value, m.unit, m.low, m.high, m.passed
      FROM jsonb_populate_recordset(NULL::measurements, coalesce(run_figures, '[]')) AS m;
  RETURN true;
END
$$;

-- The owner's: the station name is the role's, and no other role's any more.
CREATE OR REPLACE FUNCTION kzb_register_station(station_role name, station_name text)
  RETURNS void
  LANGUAGE plpgsql SET search_path = pg_catalog, public, pg_temp
AS $$
BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = station_role) THEN
    RAISE EXCEPTION 'no role %', station_role USING ERRCODE = 'undefined_object';
  END IF;
  DELETE FROM kzb_stations WHERE station = station_name AND role <> station_role;
  INSERT INTO kzb_stations (role, station) VALUES (station_role, station_name)
    ON CONFLICT DO NOTHING;
END
$$;

-- For any SQL client or dashboard: the yield by hour (UTC) and station, as the line's report
-- counts it by day: a unit is a serial (each run without one a unit of its own) with a PASS
-- or FAIL there; first pass: its first such run passed; final: its last.
CREATE OR REPLACE VIEW kzb_yield_by_hour AS
WITH hourly AS (
  SELECT date_trunc('hour', started AT TIME ZONE 'UTC') AT TIME ZONE 'UTC' AS hour, station,
         CASE WHEN serial = '' THEN E'\n' || id::text ELSE serial END AS unit,
         verdict, started, uploaded, id
    FROM runs
), units AS (
  SELECT hour, station,
         (array_agg(verdict = 'PASS' ORDER BY started, uploaded, id))[1] AS first_passed,
         (array_agg(verdict = 'PASS' ORDER BY started DESC, uploaded DESC, id DESC))[1] AS last_passed
    FROM hourly WHERE verdict IN ('PASS', 'FAIL')
    GROUP BY hour, station, unit
), counts AS (
  SELECT hour, station, count(*) AS runs,
         count(*) FILTER (WHERE verdict = 'NOT RUN') AS not_run,
         count(*) FILTER (WHERE verdict = 'ABORTED') AS aborted
    FROM hourly GROUP BY hour, station
)
SELECT c.hour, c.station, c.runs, c.not_run, c.aborted,
       count(u.hour) AS units,
       count(*) FILTER (WHERE u.first_passed) AS first_pass,
       count(*) FILTER (WHERE u.last_passed) AS final_pass,
       round(100.0 * count(*) FILTER (WHERE u.first_passed) / nullif(count(u.hour), 0), 1)
         AS first_pass_percent,
       round(100.0 * count(*) FILTER (WHERE u.last_passed) / nullif(count(u.hour), 0), 1)
         AS final_percent
  FROM counts c LEFT JOIN units u ON u.hour = c.hour AND u.station = c.station
  GROUP BY c.hour, c.station, c.runs, c.not_run, c.aborted;

-- Each figure's statistics by day (UTC), per station and for the whole line (station NULL):
-- the finite values measured (count), their mean, sample standard deviation, least and
-- greatest; how many of its figures failed their limits.
CREATE OR REPLACE VIEW kzb_figures_by_day AS
WITH figures AS (
  SELECT (r.started AT TIME ZONE 'UTC')::date AS day, r.station, c.name AS check_name,
         m.name AS figure, m.unit, m.passed,
         CASE WHEN m.value IN ('NaN', 'Infinity', '-Infinity') THEN NULL ELSE m.value END AS value
    FROM measurements m
    JOIN checks c ON c.run_id = m.run_id AND c.position = m.check_position
    JOIN runs r ON r.id = m.run_id
)
SELECT day, station, check_name, figure, unit, count(value) AS count, avg(value) AS mean,
       stddev_samp(value) AS stddev, min(value) AS min, max(value) AS max,
       count(*) FILTER (WHERE NOT passed) AS failed
  FROM figures
  GROUP BY GROUPING SETS ((day, station, check_name, figure, unit), (day, check_name, figure, unit));

-- Rights: stations add runs only through kzb_add_run; nobody but the owner writes a table.
REVOKE ALL ON kzb_schema, runs, checks, measurements, kzb_stations, kzb_yield_by_hour,
  kzb_figures_by_day FROM PUBLIC;
REVOKE ALL ON kzb_schema, runs, checks, measurements, kzb_stations, kzb_yield_by_hour,
  kzb_figures_by_day FROM kzb_station, kzb_reader;
GRANT SELECT ON kzb_schema, runs, checks, measurements, kzb_stations, kzb_yield_by_hour,
  kzb_figures_by_day TO kzb_station, kzb_reader;
REVOKE ALL ON FUNCTION kzb_clock(), kzb_add_run(jsonb, jsonb, jsonb),
  kzb_register_station(name, text) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION kzb_clock() TO kzb_station, kzb_reader;
GRANT EXECUTE ON FUNCTION kzb_add_run(jsonb, jsonb, jsonb) TO kzb_station;
REVOKE CREATE ON SCHEMA public FROM PUBLIC;
REVOKE CREATE ON SCHEMA public FROM kzb_station, kzb_reader;
GRANT USAGE ON SCHEMA public TO kzb_station, kzb_reader;

-- No temporary tables and no new schemas in this database; connecting to the server's other
-- databases is the owner's to refuse (see the README). Large objects: their functions are
-- the catalog's, which only a superuser may change.
DO $$
DECLARE
  f regprocedure;
BEGIN
  EXECUTE format('REVOKE CREATE, TEMPORARY ON DATABASE %I FROM PUBLIC, kzb_station, kzb_reader',
                 current_database());
  IF (SELECT rolsuper FROM pg_roles WHERE rolname = current_user) THEN
    FOR f IN SELECT p.oid::regprocedure FROM pg_proc p
               WHERE p.pronamespace = 'pg_catalog'::regnamespace
                 AND (p.proname LIKE 'lo\_%' OR p.proname IN ('loread', 'lowrite'))
    LOOP
      EXECUTE format('REVOKE EXECUTE ON FUNCTION %s FROM PUBLIC', f);
    END LOOP;
  ELSE
    RAISE WARNING 'large objects stay open to every role: apply this file as a superuser to close them';
  END IF;
END
$$;

DELETE FROM kzb_schema;
INSERT INTO kzb_schema (version) VALUES (2);

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
