// Cloud SQL database instances, as the Cloud SQL admin API (v1beta4) lists them. Numbers Google sends as
// decimal strings are 64-bit integers here; flags and numbers start as false and 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Export.h"
#include "KeyValueRecords.h"

namespace GoogleCloudSDKWrapper {

struct GCSDK_API SBackupConfigurationInfoLib {
    std::string startTime;
    bool enabled = false;
    bool binaryLogEnabled = false;
    bool replicationLogArchivingEnabled = false;
};

struct GCSDK_API SAuthorizedNetworksInfoLib {
    std::string value;
    std::string name;
    std::string expirationTime;
};

struct GCSDK_API SIpConfigurationInfoLib {
    bool ipv4Enabled = false;
    std::vector<SAuthorizedNetworksInfoLib> authorizedNetworks;
    bool requireSsl = false;
    std::string privateNetwork;
};

struct GCSDK_API SLocationPreferenceInfoLib {
    std::string followGaeApplication;
    std::string zone;
};

struct GCSDK_API SDatabaseFlagsInfoLib {
    std::string name;
    std::string value;
};

struct GCSDK_API SMaintenanceWindowInfoLib {
    int32_t hour = 0;
    int32_t day = 0;
    std::string updateTrack;
};

struct GCSDK_API SSettingsInfoLib {
    int64_t settingsVersion = 0;
    std::vector<std::string> authorizedGaeApplications;
    std::string tier;
    SBackupConfigurationInfoLib backupConfiguration;
    std::string pricingPlan;
    std::string replicationType;
    std::string activationPolicy;
    SIpConfigurationInfoLib ipConfiguration;
    SLocationPreferenceInfoLib locationPreference;
    std::vector<SDatabaseFlagsInfoLib> databaseFlags;
    bool databaseReplicationEnabled = false;
    bool crashSafeReplicationEnabled = false;
    int64_t dataDiskSizeGb = 0;
    std::string dataDiskType;
    SMaintenanceWindowInfoLib maintenanceWindow;
    bool storageAutoResize = false;
    int64_t storageAutoResizeLimit = 0;
    std::string availabilityType;
    std::vector<SKeyValueInfoLib> userLabels;
};

struct GCSDK_API SSslCertsInfoLib {
    std::string selfLink;
    std::string instance;
    std::string sha1Fingerprint;
    std::string commonName;
    std::string certSerialNumber;
    std::string cert;
    std::string createTime;
    std::string expirationTime;
};

struct GCSDK_API SIpAddressesInfoLib {
    std::string ipAddress;
    std::string timeToRetire;
    std::string type;  // "PRIMARY", "OUTGOING", "PRIVATE"
};

struct GCSDK_API SFailoverReplicaInfoLib {
    std::string name;
    bool available = false;
};

struct GCSDK_API SOnPremisesConfigurationInfoLib {
    std::string hostPort;
};

struct GCSDK_API SMysqlReplicaConfigurationInfoLib {
    std::string dumpFilePath;
    std::string username;
    std::string password;
    int32_t connectRetryInterval = 0;
    int64_t masterHeartbeatPeriod = 0;
    std::string caCertificate;
    std::string clientCertificate;
    std::string clientKey;
    std::string sslCipher;
    bool verifyServerCertificate = false;
};

struct GCSDK_API SReplicaConfigurationInfoLib {
    SMysqlReplicaConfigurationInfoLib mysqlReplicaConfiguration;
    bool failoverTarget = false;
};

struct GCSDK_API SDBInstanceInfoLib {
    std::string selfLink;
    std::string name;
    std::string connectionName;  // project:region:name
    std::string etag;
    std::string project;
    std::string state;  // "RUNNABLE", "SUSPENDED", ...
    std::string backendType;
    std::string databaseVersion;  // "MYSQL_8_0", "POSTGRES_15", ...
    std::string region;
    int64_t currentDiskSize = 0;
    int64_t maxDiskSize = 0;
    SSettingsInfoLib settings;
    SSslCertsInfoLib serverCaCert;
    std::vector<SIpAddressesInfoLib> ipAddresses;
    std::string instanceType;  // "CLOUD_SQL_INSTANCE", "READ_REPLICA_INSTANCE", ...
    std::string masterInstanceName;
    std::vector<std::string> replicaNames;
    SFailoverReplicaInfoLib failoverReplica;
    std::string ipv6Address;
    std::string serviceAccountEmailAddress;
    SOnPremisesConfigurationInfoLib onPremisesConfiguration;
    SReplicaConfigurationInfoLib replicaConfiguration;
    std::vector<std::string> suspensionReason;
    std::string gceZone;
};

}  // namespace GoogleCloudSDKWrapper
