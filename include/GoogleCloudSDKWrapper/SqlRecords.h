/// @file
/// Cloud SQL database instances, as the Cloud SQL admin API (v1beta4) lists them. Numbers Google sends as
/// decimal strings are 64-bit integers here; flags and numbers start as false and 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Export.h"
#include "KeyValueRecords.h"

namespace GoogleCloudSDKWrapper {

/// An instance's backup settings.
struct GCSDK_API SBackupConfigurationInfoLib {
    std::string startTime;                        ///< "HH:MM" in UTC, when the daily backup starts
    bool enabled = false;                         ///< daily backups are on
    bool binaryLogEnabled = false;                ///< MySQL binary logging (point-in-time recovery) is on
    bool replicationLogArchivingEnabled = false;  ///< replication logs are archived
};

/// An address range allowed to connect.
struct GCSDK_API SAuthorizedNetworksInfoLib {
    std::string value;           ///< the range, "203.0.113.0/24"
    std::string name;            ///< its label
    std::string expirationTime;  ///< when the entry expires (RFC 3339); empty: never
};

/// An instance's IP settings.
struct GCSDK_API SIpConfigurationInfoLib {
    bool ipv4Enabled = false;                                    ///< the instance has a public address
    std::vector<SAuthorizedNetworksInfoLib> authorizedNetworks;  ///< ranges allowed to connect to it
    bool requireSsl = false;                                     ///< connections must use TLS
    std::string privateNetwork;  ///< the VPC network of its private address (a resource path)
};

/// Where an instance prefers to be.
struct GCSDK_API SLocationPreferenceInfoLib {
    std::string followGaeApplication;  ///< an App Engine application to follow
    std::string zone;                  ///< the preferred zone
};

/// A database flag set on an instance.
struct GCSDK_API SDatabaseFlagsInfoLib {
    std::string name;   ///< the flag's name
    std::string value;  ///< its value
};

/// An instance's maintenance window.
struct GCSDK_API SMaintenanceWindowInfoLib {
    int32_t hour = 0;         ///< hour of the day, 0 to 23, UTC
    int32_t day = 0;          ///< day of the week, 1 (Monday) to 7; 0 any
    std::string updateTrack;  ///< "canary" or "stable"
};

/// An instance's settings ("settings" of the instance resource).
struct GCSDK_API SSettingsInfoLib {
    int64_t settingsVersion = 0;                         ///< incremented with every change
    std::vector<std::string> authorizedGaeApplications;  ///< App Engine applications allowed to connect
    std::string tier;                                    ///< "db-custom-2-7680", ...
    SBackupConfigurationInfoLib backupConfiguration;     ///< backups
    std::string pricingPlan;                             ///< "PER_USE", ...
    std::string replicationType;                         ///< "SYNCHRONOUS" or "ASYNCHRONOUS"
    std::string activationPolicy;                        ///< "ALWAYS", "NEVER", "ON_DEMAND"
    SIpConfigurationInfoLib ipConfiguration;             ///< addresses and who may connect
    SLocationPreferenceInfoLib locationPreference;       ///< preferred zone
    std::vector<SDatabaseFlagsInfoLib> databaseFlags;    ///< flags set
    bool databaseReplicationEnabled = false;             ///< replication is on (a replica)
    bool crashSafeReplicationEnabled = false;            ///< crash-safe replication is on
    int64_t dataDiskSizeGb = 0;                          ///< data disk size in GB
    std::string dataDiskType;                            ///< "PD_SSD" or "PD_HDD"
    SMaintenanceWindowInfoLib maintenanceWindow;         ///< maintenance window
    bool storageAutoResize = false;                      ///< the disk grows when full
    int64_t storageAutoResizeLimit = 0;                  ///< up to this size in GB; 0 no limit
    std::string availabilityType;                        ///< "ZONAL" or "REGIONAL" (high availability)
    std::vector<SKeyValueInfoLib> userLabels;            ///< labels, in key order
};

/// A certificate of an instance (its server CA certificate).
struct GCSDK_API SSslCertsInfoLib {
    std::string selfLink;          ///< its URL
    std::string instance;          ///< the instance it belongs to
    std::string sha1Fingerprint;   ///< SHA-1 fingerprint
    std::string commonName;        ///< its common name
    std::string certSerialNumber;  ///< serial number
    std::string cert;              ///< the certificate, PEM
    std::string createTime;        ///< RFC 3339
    std::string expirationTime;    ///< RFC 3339
};

/// An address of an instance.
struct GCSDK_API SIpAddressesInfoLib {
    std::string ipAddress;     ///< the address
    std::string timeToRetire;  ///< when it goes, if planned (RFC 3339)
    std::string type;          ///< "PRIMARY", "OUTGOING", "PRIVATE"
};

/// An instance's failover replica.
struct GCSDK_API SFailoverReplicaInfoLib {
    std::string name;        ///< the replica's name
    bool available = false;  ///< it can take over now
};

/// An on-premises source of an instance.
struct GCSDK_API SOnPremisesConfigurationInfoLib {
    std::string hostPort;  ///< "host:port" of the source
};

/// How a MySQL replica connects to its source.
struct GCSDK_API SMysqlReplicaConfigurationInfoLib {
    std::string dumpFilePath;              ///< gs:// path of the dump it was seeded from
    std::string username;                  ///< replication user
    std::string password;                  ///< replication password (the API does not return it)
    int32_t connectRetryInterval = 0;      ///< seconds between connection attempts
    int64_t masterHeartbeatPeriod = 0;     ///< heartbeat period in milliseconds
    std::string caCertificate;             ///< PEM of the source's CA
    std::string clientCertificate;         ///< PEM of the replica's certificate
    std::string clientKey;                 ///< PEM of its key (the API does not return it)
    std::string sslCipher;                 ///< the TLS ciphers allowed
    bool verifyServerCertificate = false;  ///< the source's certificate is checked
};

/// A replica's configuration.
struct GCSDK_API SReplicaConfigurationInfoLib {
    SMysqlReplicaConfigurationInfoLib mysqlReplicaConfiguration;  ///< MySQL replication
    bool failoverTarget = false;                                  ///< it is the failover target
};

/// A Cloud SQL database instance. Every member holds the member of the same name of the
/// API's DatabaseInstance resource.
struct GCSDK_API SDBInstanceInfoLib {
    std::string selfLink;                          ///< its URL
    std::string name;                              ///< the instance's name
    std::string connectionName;                    ///< project:region:name
    std::string etag;                              ///< changes with every change
    std::string project;                           ///< its project id
    std::string state;                             ///< "RUNNABLE", "SUSPENDED", ...
    std::string backendType;                       ///< "SECOND_GEN", ...
    std::string databaseVersion;                   ///< "MYSQL_8_0", "POSTGRES_15", ...
    std::string region;                            ///< "us-central1"
    int64_t currentDiskSize = 0;                   ///< bytes used
    int64_t maxDiskSize = 0;                       ///< bytes available
    SSettingsInfoLib settings;                     ///< its settings
    SSslCertsInfoLib serverCaCert;                 ///< the CA certificate clients verify it with
    std::vector<SIpAddressesInfoLib> ipAddresses;  ///< its addresses
    std::string instanceType;                      ///< "CLOUD_SQL_INSTANCE", "READ_REPLICA_INSTANCE", ...
    std::string masterInstanceName;                ///< of a replica: its primary
    std::vector<std::string> replicaNames;         ///< of a primary: its replicas
    SFailoverReplicaInfoLib failoverReplica;       ///< its failover replica
    std::string ipv6Address;                       ///< its IPv6 address
    std::string
        serviceAccountEmailAddress;  ///< the service account the instance runs as (for bucket permissions)
    SOnPremisesConfigurationInfoLib onPremisesConfiguration;  ///< an on-premises source
    SReplicaConfigurationInfoLib replicaConfiguration;        ///< of a replica: how it replicates
    std::vector<std::string> suspensionReason;                ///< why it is suspended ("BILLING_ISSUE", ...)
    std::string gceZone;                                      ///< the zone it serves from
};

}  // namespace GoogleCloudSDKWrapper
